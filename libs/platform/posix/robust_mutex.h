// A mutex in memory shared between processes that survives the death of its
// holder: the next locker takes it over (EOWNERDEAD) and makes it consistent.
// Whatever it guards must therefore stay sound at every step of a change.
#pragma once

#include <pthread.h>

#include <cerrno>

namespace qxposix {

inline void initRobustMutex(pthread_mutex_t& mutex) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    pthread_mutex_init(&mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

class RobustLock {
public:
    explicit RobustLock(pthread_mutex_t& mutex) : mutex_(&mutex) {
        if (pthread_mutex_lock(mutex_) == EOWNERDEAD) pthread_mutex_consistent(mutex_);
    }
    ~RobustLock() { pthread_mutex_unlock(mutex_); }
    RobustLock(const RobustLock&) = delete;
    RobustLock& operator=(const RobustLock&) = delete;

private:
    pthread_mutex_t* mutex_;
};

}  // namespace qxposix
