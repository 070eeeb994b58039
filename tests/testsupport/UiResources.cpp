// The program's resources (toolbar images, icons) live in the widget library; suites that show
// widgets register them before their first test.

#include <QtGlobal>

// Resource registration must be named outside any namespace.
static int initResources() {
    Q_INIT_RESOURCE(cadrell);
    return 0;
}

namespace {
const int initialised = initResources();
}
