#include "RunSignals.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace runel::cli {

namespace {

constexpr std::array handledSignals { SIGINT, SIGTERM, SIGHUP };

int signalPipe[2] = { -1, -1 };
struct sigaction previousActions[handledSignals.size()];

void onSignalReceived(int signal)
{
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

RunSignals::RunSignals(std::function<void(int signal)> onSignal)
    : m_onSignal(std::move(onSignal))
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        signalPipe[0] = signalPipe[1] = -1;
        return; // the signals keep their default action
    }
    m_notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &RunSignals::readSignals);
    struct sigaction action = {};
    action.sa_handler = &onSignalReceived;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < handledSignals.size(); ++i)
        ::sigaction(handledSignals[i], &action, &previousActions[i]);
}

RunSignals::~RunSignals()
{
    if (signalPipe[0] < 0)
        return;
    for (std::size_t i = 0; i < handledSignals.size(); ++i)
        ::sigaction(handledSignals[i], &previousActions[i], nullptr);
    m_notifier.reset();
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void RunSignals::readSignals()
{
    unsigned char byte = 0;
    while (::read(signalPipe[0], &byte, 1) == 1) {
        if (m_received == 0)
            m_received = byte;
        m_onSignal(byte);
    }
}

} // namespace runel::cli
