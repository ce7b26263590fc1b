// Which threads are physics threads. The thread managers mark every thread they start; what the
// host thread uses while a frame runs checks the mark and refuses itself on a physics thread.
#pragma once

namespace VadiZov {

// Marks the calling thread for its lifetime; the thread managers call it first thing.
void markPhysicsThread();
// True on a thread started by a thread manager: such a thread must not take the engine lock,
// since the worker holds it for the frame and waits for this thread.
bool onPhysicsThread();
// Logs "*** <operation>: refused on a physics thread" at error level and returns true there.
bool refuseOnPhysicsThread(const char* operation);
// The same for a member of a class or table: "*** <owner>.<member>: refused on a physics thread".
bool refuseOnPhysicsThread(const char* owner, const char* member);

} // namespace VadiZov
