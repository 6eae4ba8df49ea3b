#pragma once

#include "app/options.h"

namespace tarnwick {

// The application with a window: runs the main dialog and returns when it has closed.
class CTarnwickApp {
public:
    CTarnwickApp(int& argc, char** argv) : m_argc(argc), m_argv(argv) {}

    // The exit status.
    [[nodiscard]] int InitInstance(const Options& options);

private:
    int& m_argc;
    char** m_argv;
};

}  // namespace tarnwick
