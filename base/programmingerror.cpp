// One place for the print-and-raise path of programming errors.
#include "base/programmingerror.h"

#include <cstdio>

void programmingError(const std::string& message) {
    std::fputs(message.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    throw ProgrammingError(message);
}
