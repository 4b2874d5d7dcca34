// One copy per user unless the user wants another: a lock file in the
// user's runtime folder marks the running copy. QLockFile notices the lock
// of a copy that crashed (its process is gone) and takes it over.
#pragma once

#include <QLockFile>
#include <QString>
#include <functional>

namespace tolvek {

// "<runtime dir>/tolvek-filter.lock" for the current user.
QString defaultInstanceLockPath();

class InstanceLock {
  public:
    explicit InstanceLock(const QString& path = defaultInstanceLockPath());
    // True when no other running copy holds the lock; it is then ours until destruction.
    bool acquire();

  private:
    QLockFile lock;
};

// Whether this copy goes on: yes when it holds the lock, otherwise what
// `askStartAnyway` answers.
bool mayStart(InstanceLock& lock, const std::function<bool()>& askStartAnyway);

// The "Oops!" box: Yes starts another copy, No (the default) ends this one.
bool askStartAnotherCopy();

}  // namespace tolvek
