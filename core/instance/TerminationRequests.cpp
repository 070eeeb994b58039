#include "core/instance/TerminationRequests.h"

#include <sys/socket.h>
#include <unistd.h>
#include <QPointer>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

#include "core/instance/InstanceInternal.h"

namespace cadrell {

namespace {

using internal::errnoText;

int g_signalPipe[2] = {-1, -1};

void onTerminate(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

TerminationRequests::TerminationRequests(QObject* parent) : QObject(parent) {
    if (g_signalPipe[0] < 0 &&
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalPipe) != 0) {
        qWarning("Cadrell: cannot watch for SIGTERM: %s", errnoText().constData());
        return;
    }
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &TerminationRequests::readSignal);
    struct sigaction action = {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

TerminationRequests::~TerminationRequests() {
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGHUP, SIG_DFL);
}

void TerminationRequests::readSignal() {
    // Everything queued so far is one request: a signal repeated while we were busy is no news.
    char bytes[64];
    while (::read(g_signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    if (handling_)
        return;
    handling_ = true;
    QPointer<TerminationRequests> self(this);
    emit requested();
    if (self)
        handling_ = false;
}

}  // namespace cadrell
