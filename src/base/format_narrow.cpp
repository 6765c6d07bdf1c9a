#include "base/format.h"
#include "base/format_engine.h"

namespace ozu::format_detail {

std::string FormatNarrow(size_t capacity, std::string_view format, const Arg* args, size_t count) {
    return engine::Formatter<char>(capacity, format, args, count).Run();
}

} // namespace ozu::format_detail
