// States that the user interface never produces (an empty tree, a bad index, an unsupported
// level) are programming errors: the message goes to standard output as one line and is raised.
// Boundaries that can meet them through a user's file or edit catch ProgrammingError there.
#pragma once

#include <stdexcept>
#include <string>

class ProgrammingError : public std::runtime_error {
public:
    explicit ProgrammingError(const std::string& message) : std::runtime_error(message) {}
};

// Writes the message as one line to standard output, then throws it.
[[noreturn]] void programmingError(const std::string& message);

// Always-on check that prints both operands when it fails.
#define TAVOLIN_CHECK_EQ(a, b)                                                          \
    do {                                                                                \
        if (!((a) == (b)))                                                              \
            programmingError(std::string("check failed: " #a " == " #b " (") +          \
                             std::to_string(a) + " vs " + std::to_string(b) + ")");     \
    } while (0)

// Debug-only check, allowed in kernels.
#ifdef NDEBUG
#define TAVOLIN_DCHECK(cond) ((void)0)
#else
#define TAVOLIN_DCHECK(cond)                                                   \
    do {                                                                       \
        if (!(cond)) programmingError("debug check failed: " #cond);           \
    } while (0)
#endif
