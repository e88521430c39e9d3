#pragma once

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QDBusUnixFileDescriptor>
#include <QObject>

namespace quillmote {

// Keeps the machine from idling into sleep while the app listens: one logind
// inhibitor lock, taken at construction and held (as its file descriptor) until
// the object is destroyed. Without logind or a system bus nothing happens.
class SleepInhibitor : public QObject {
    Q_OBJECT

public:
    explicit SleepInhibitor(QDBusConnection bus = QDBusConnection::systemBus(), QObject* parent = nullptr);

    // True once logind has handed over the lock.
    bool isHeld() const { return lock_.isValid(); }

signals:
    void held();

private:
    QDBusUnixFileDescriptor lock_;

    void keep(const QDBusPendingCall& done);
};

}  // namespace quillmote
