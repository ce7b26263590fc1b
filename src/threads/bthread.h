// Physics threads and their hand-offs. Every thread loops: wait for its group's go event, run
// one pass, signal its done event. A group has three manual-reset go events used in turn, so
// one set releases the whole group and a thread that is slow to reach its wait still finds its
// event set; the releasing side waits for every thread's auto-reset done (or half-done) event
// between releases, so no thread runs twice on one release. Nothing else is shared: what the
// releasing side wrote before a release is visible to the threads, and what the threads wrote
// before their done event is visible after the wait.
#pragma once

#include <algorithm>
#include <new>

#include "base/blog.h"
#include "base/bphysics_thread.h"
#include "platform/critical_section.h"
#include "platform/event.h"
#include "platform/last_error.h"
#include "platform/thread.h"

namespace VadiZov {

class CollisionTriangleTree;
class StaticCollider;
class BeamCoreThread;
class PhysicsWorker;

constexpr int kMaxManagedThreads = platform::kMaxWaitObjects;  // one wait covers them all
constexpr int kMaxThreadGroups = 64;
constexpr int kGoEventsPerGroup = 3;

struct ThreadEventTable {
    platform::Event* done[kMaxManagedThreads] = {};
    platform::Event* halfDone[kMaxManagedThreads] = {};
    platform::Event* go[kMaxThreadGroups][kGoEventsPerGroup] = {};
};

// What a manager hands every thread it creates.
template <class P>
struct ThreadContext {
    CollisionTriangleTree* tree = nullptr;
    StaticCollider* collider = nullptr;
    platform::CriticalSection* engineLock = nullptr;
    P* params = nullptr;
};

// What a managed thread does on each release.
enum ThreadMode : int {
    kThreadModeWork = 0,        // run its pass (a core thread steps its object)
    kThreadModeSignalOnly = 1,  // only signal half-done: the hand-offs without the work
};

// Which manager a failure report names: the log readers know each by its full type name.
enum class ThreadRole { Other, Core, Worker };
template <class T>
inline constexpr ThreadRole kThreadRoleOf = ThreadRole::Other;
template <>
inline constexpr ThreadRole kThreadRoleOf<BeamCoreThread> = ThreadRole::Core;
template <>
inline constexpr ThreadRole kThreadRoleOf<PhysicsWorker> = ThreadRole::Worker;

// The places a thread or manager call can fail; each is reported with the function name and
// line the log readers expect.
enum class ThreadFailure {
    CreateThread,
    StopSetEvent,
    StopCloseThread,
    ExitCloseThreadEvent,
    ExitCloseGoEvent,
    AddGoEvent,
    AddThreadEvent,
};

// Logs the last OS error for the failure.
void reportThreadFailure(ThreadFailure failure, ThreadRole role);
// Reports a failed call on a handle that does not exist, the way the OS would.
void reportMissingHandle(ThreadFailure failure, ThreadRole role);
// Sets the OS's out-of-memory error, which the following report logs.
void setOutOfMemoryError();

template <class P>
class VelkorThread {
public:
    VelkorThread(ThreadEventTable* eventTable, P* parameters) : events(eventTable), params(parameters) {}
    virtual ~VelkorThread() { delete handle; }
    VelkorThread(const VelkorThread&) = delete;
    VelkorThread& operator=(const VelkorThread&) = delete;

    virtual void run() = 0;

    // Starts the thread. It is marked running first: a stop that comes before the new thread
    // is first scheduled must not be overwritten by it.
    bool create()
    {
        running = true;
        handle = new (std::nothrow) platform::Thread();
        if (!handle) {
            setOutOfMemoryError();
        } else if (handle->start(&VelkorThread::threadProc, this)) {
            return true;
        }
        delete handle;
        handle = nullptr;
        running = false;
        return false;
    }

    void stop()
    {
        // exitThreads has usually cleared the flag already, and a sibling's stop may have woken
        // this thread to read it: write it only when it changes.
        if (running)
            running = false;
        for (platform::Event* go : events->go[group]) {
            if (go)
                go->set();
            else
                reportMissingHandle(ThreadFailure::StopSetEvent, ThreadRole::Other);
        }
        if (!handle) {
            reportMissingHandle(ThreadFailure::StopCloseThread, ThreadRole::Other);
            return;
        }
        handle->join();
        delete handle;
        handle = nullptr;
    }

    static void threadProc(void* self) { static_cast<VelkorThread*>(self)->threadMain(); }

    void threadMain()
    {
        markPhysicsThread();
        waitForRelease();
        while (running) {
            run();
            events->done[index]->set();
            waitForRelease();
        }
    }

    int index = 0;
    int mode = kThreadModeWork;  // a ThreadMode
    ThreadEventTable* events;
    P* params;
    platform::Thread* handle = nullptr;
    bool running = false;
    int phase = 0;  // which of the group's go events comes next
    int group = 0;

protected:
    // Waits for the next release of this thread's group.
    void waitForRelease()
    {
        events->go[group][phase]->wait();
        phase = phase == kGoEventsPerGroup - 1 ? 0 : phase + 1;
    }
    void signalHalfDone() { events->halfDone[index]->set(); }
};

template <class T, class P>
class VelkorThreadManager {
public:
    explicit VelkorThreadManager(const ThreadContext<P>& threadContext) : context(threadContext) {}

    // A new thread wired to this manager's events and context; null refuses.
    virtual T* createThread() { return new T(&events, context); }

    // Stops the threads under the engine lock, so never in the middle of a frame.
    virtual ~VelkorThreadManager()
    {
        {
            platform::CriticalSectionGuard guard(context.engineLock);
            exitThreads();
        }
        for (auto& groupEvents : events.go)
            for (platform::Event*& go : groupEvents) {
                delete go;
                go = nullptr;
            }
    }

    VelkorThreadManager(const VelkorThreadManager&) = delete;
    VelkorThreadManager& operator=(const VelkorThreadManager&) = delete;

    void addThreads(int count, int group, int mode)  // mode: a ThreadMode
    {
        if (group < 0 || group >= kMaxThreadGroups || count < 0)
            return;
        groupRange[group][0] = threadCount;
        groupRange[group][1] = threadCount + count;
        groupCount = std::max(groupCount, group + 1);
        groupPhase[group] = 0;

        for (platform::Event*& go : events.go[group]) {
            if (go) {  // the group was set up before and not ended: its threads may wait on it
                go->reset();
                continue;
            }
            go = new (std::nothrow) platform::Event(true, false);
            if (!go) {
                setOutOfMemoryError();
                reportThreadFailure(ThreadFailure::AddGoEvent, kRole);
                groupRange[group][1] = threadCount;
                return;
            }
        }

        for (int i = 0; i < count; ++i) {
            const int n = threadCount;
            if (n >= kMaxManagedThreads) {
                logFormat(LOG_ERROR, "*** addThreads: more than %d threads in one manager", kMaxManagedThreads);
                break;
            }
            events.done[n] = new (std::nothrow) platform::Event(false, false);
            events.halfDone[n] = events.done[n] ? new (std::nothrow) platform::Event(false, false) : nullptr;
            if (!events.halfDone[n]) {
                setOutOfMemoryError();
                reportThreadFailure(ThreadFailure::AddThreadEvent, kRole);
                freeThreadEvents(n);
                break;
            }
            T* thread = createThread();
            if (!thread) {
                freeThreadEvents(n);
                break;
            }
            threads[n] = thread;
            thread->index = n;
            thread->mode = mode;
            thread->group = group;
            thread->phase = 0;
            if (!thread->create()) {
                // Not counted: nobody may wait for a thread that never runs.
                reportThreadFailure(ThreadFailure::CreateThread, ThreadRole::Other);
                delete thread;
                threads[n] = nullptr;
                freeThreadEvents(n);
                continue;
            }
            ++threadCount;
        }
        groupRange[group][1] = threadCount;
    }

    void exitThreads()
    {
        if (threadCount == 0)
            return;
        for (int n = 0; n < threadCount; ++n)
            threads[n]->running = false;
        for (int n = 0; n < threadCount; ++n)
            threads[n]->stop();
        for (int n = 0; n < threadCount; ++n) {
            delete threads[n];
            threads[n] = nullptr;
            for (platform::Event** table : {events.done, events.halfDone}) {
                if (!table[n])
                    reportMissingHandle(ThreadFailure::ExitCloseThreadEvent, kRole);
                delete table[n];
                table[n] = nullptr;
            }
        }
        for (int g = 0; g < groupCount; ++g)
            for (platform::Event*& go : events.go[g]) {
                if (!go)
                    reportMissingHandle(ThreadFailure::ExitCloseGoEvent, kRole);
                delete go;
                go = nullptr;
            }
        threadCount = 0;
    }

    // Sets the group's current go event and resets the one its threads wait for after this pass.
    void release(int group)
    {
        const int k = groupPhase[group];
        const int next = k == kGoEventsPerGroup - 1 ? 0 : k + 1;
        if (events.go[group][next])
            events.go[group][next]->reset();
        if (events.go[group][k])
            events.go[group][k]->set();
        groupPhase[group] = next;
    }

    void waitForAllDone()
    {
        if (threadCount > 0)
            platform::waitForAll(events.done, threadCount);
    }
    void waitForAllHalfDone()
    {
        if (threadCount > 0)
            platform::waitForAll(events.halfDone, threadCount);
    }

    ThreadEventTable events;
    int threadCount = 0;
    int groupRange[kMaxThreadGroups][2] = {};
    int groupCount = 0;
    int groupPhase[kMaxThreadGroups] = {};
    T* threads[kMaxManagedThreads] = {};
    ThreadContext<P> context;

private:
    static constexpr ThreadRole kRole = kThreadRoleOf<T>;

    void freeThreadEvents(int n)
    {
        delete events.done[n];
        delete events.halfDone[n];
        events.done[n] = nullptr;
        events.halfDone[n] = nullptr;
    }
};

} // namespace VadiZov
