#include "single_instance.h"

#include <QDir>
#include <QMessageBox>
#include <QStandardPaths>

namespace tolvek {

QString defaultInstanceLockPath() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    return dir + "/tolvek-filter.lock";
}

InstanceLock::InstanceLock(const QString& path) : lock(path) {
    // A running copy's lock never goes stale by age, however long it runs;
    // only a lock whose process has gone is taken over.
    lock.setStaleLockTime(0);
}

bool InstanceLock::acquire() { return lock.isLocked() || lock.tryLock(0); }

bool mayStart(InstanceLock& lock, const std::function<bool()>& askStartAnyway) {
    return lock.acquire() || askStartAnyway();
}

bool askStartAnotherCopy() {
    QMessageBox box(QMessageBox::Warning, "Oops!",
                    "An instance of Tolvekfilter is already running!\nStart another one anyway?",
                    QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace tolvek
