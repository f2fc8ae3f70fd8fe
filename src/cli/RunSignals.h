#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace runel::cli {

// While it exists, SIGINT, SIGTERM and SIGHUP no longer end runel: each is handed to onSignal
// on the main thread (through a pipe written by the handler), so that runel can pass it on to
// the script's process group and wait for the script before it exits. The previous handlers
// come back with its destruction. One at a time.
class RunSignals : public QObject {
    Q_OBJECT

public:
    explicit RunSignals(std::function<void(int signal)> onSignal);
    ~RunSignals() override;

    // The first signal received; 0 when none.
    int received() const { return m_received; }

private:
    void readSignals();

    std::function<void(int)> m_onSignal;
    std::unique_ptr<QSocketNotifier> m_notifier;
    int m_received = 0;
};

} // namespace runel::cli
