#include "base/format.h"

#include "base/format_engine.h"

namespace ozu::format_detail {

std::u16string FormatWide(size_t capacity, std::u16string_view format, const Arg* args,
                          size_t count) {
    return engine::Formatter<char16_t>(capacity, format, args, count).Run();
}

} // namespace ozu::format_detail
