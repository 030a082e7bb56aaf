#pragma once

// The C library's locale, which Qt wants UTF-8.
namespace platform {

// Takes the environment's locale, as Qt would, and if its characters are not
// UTF-8 (no LANG at all, as under cron or `su -`, or LC_ALL=C) changes the
// environment so that only the characters become C.UTF-8. Otherwise Qt
// switches by itself and says so on standard error, with every command.
// File names are untouched by this: the program reads their bytes itself, and
// Qt takes them as UTF-8 whatever the locale. Call first thing, before Qt.
void useUtf8Characters();

} // namespace platform
