#pragma once

#include <QObject>

namespace cadrell {

// Turns SIGTERM and SIGHUP into `requested` on the event loop. A request that arrives while
// the slots of an earlier one still run (its close question is open) is dropped: asking the
// same question again from inside the first would only stack dialogs.
class TerminationRequests : public QObject {
    Q_OBJECT

public:
    explicit TerminationRequests(QObject* parent = nullptr);
    ~TerminationRequests() override;

signals:
    void requested();

private:
    void readSignal();
    bool handling_ = false;
};

}  // namespace cadrell
