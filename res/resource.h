// Resource ids shared by the resource script and the code. The numbers are
// part of the language files' contract: never renumber them.
#pragma once

// Strings
#define IDS_UNINSTTITLE 5101
#define IDS_MIVORAHELP 5102
#define IDS_OZUHELP 5103
#define IDS_WHATSNEW 5104
#define IDS_WHATSNEWNAME 5105
#define IDS_UNINSTALLOZU 5106
#define IDS_UNINSTALLCOMPLETED 5107
#define IDS_UNINSTALLSHOULDDELETE 5108
#define IDS_CONTINUEUNINSTALL 5109
#define IDS_CANNOTOPENLIST 5110
#define IDS_MIVORAARC 5111
#define IDS_MIVORAZIPARC 5112
#define IDS_OZURECVOL 5113
#define IDS_HOMEURL 5114
#define IDS_MIVORADESC 5115
#define IDS_REBOOTREQUIRED 5116
#define IDS_INSTHELP1 5120
#define IDS_INSTHELP2 5121
#define IDS_INSTHELP3 5122
#define IDS_INSTHELP4 5123
#define IDS_INSTHELP5 5124
#define IDS_INSTHELP6 5125
#define IDS_WARN32BIT 5130
#define IDS_INSTREBOOTREQUIRED 5135
#define IDS_BETA 5140
#define IDS_32BIT 5141
#define IDS_64BIT 5142

// Dialog templates and control ids are added below by the dialogs.
