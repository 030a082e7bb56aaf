#include "platform/textlocale.h"

#include <clocale>
#include <cstdlib>
#include <langinfo.h>
#include <string>
#include <strings.h>

namespace platform {

namespace {

// What Qt does as it starts, and the names it accepts.
bool environmentGivesUtf8()
{
    if (!std::setlocale(LC_ALL, ""))
        return false;
    const char *codeset = ::nl_langinfo(CODESET);
    return ::strcasecmp(codeset, "UTF-8") == 0 || ::strcasecmp(codeset, "utf8") == 0;
}

} // namespace

void useUtf8Characters()
{
    if (environmentGivesUtf8())
        return;
    // LC_ALL would override LC_CTYPE; as LANG it keeps every other category.
    if (const char *all = std::getenv("LC_ALL"); all && *all) {
        ::setenv("LANG", std::string(all).c_str(), 1);
        for (const char *category : { "LC_ALL", "LC_COLLATE", "LC_MESSAGES", "LC_MONETARY",
                 "LC_NUMERIC", "LC_TIME", "LC_ADDRESS", "LC_IDENTIFICATION", "LC_MEASUREMENT",
                 "LC_NAME", "LC_PAPER", "LC_TELEPHONE" })
            ::unsetenv(category);
    }
    ::setenv("LC_CTYPE", "C.UTF-8", 1);
    if (environmentGivesUtf8())
        return;
    // A locale the system lacks fails every category, which were all "C".
    ::setenv("LC_ALL", "C.UTF-8", 1);
    environmentGivesUtf8();
}

} // namespace platform
