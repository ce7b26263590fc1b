#include "threads/bthread.h"

namespace VadiZov {

namespace {

constexpr int kOutOfMemory = 12;

const char* const kThreadCreate = "VadiZov::VelkorThread<struct VadiZov::core_parameters_t>::create";
const char* const kThreadStop = "VadiZov::VelkorThread<struct VadiZov::core_parameters_t>::stop";

const char* managerFunction(ThreadRole role, bool adding)
{
    switch (role) {
    case ThreadRole::Core:
        return adding ? "VadiZov::VelkorThreadManager<class VadiZov::BeamCoreThread,struct VadiZov::core_parameters_t>::addThreads"
                      : "VadiZov::VelkorThreadManager<class VadiZov::BeamCoreThread,struct VadiZov::core_parameters_t>::exitThreads";
    case ThreadRole::Worker:
        return adding ? "VadiZov::VelkorThreadManager<class VadiZov::PhysicsWorker,struct VadiZov::core_parameters_t>::addThreads"
                      : "VadiZov::VelkorThreadManager<class VadiZov::PhysicsWorker,struct VadiZov::core_parameters_t>::exitThreads";
    default:
        return adding ? "VadiZov::VelkorThreadManager::addThreads" : "VadiZov::VelkorThreadManager::exitThreads";
    }
}

struct FailureSite {
    const char* function;
    int line;
};

// The function and line each failure has always been reported with.
FailureSite siteOf(ThreadFailure failure, ThreadRole role)
{
    switch (failure) {
    case ThreadFailure::CreateThread:
        return {kThreadCreate, 131};
    case ThreadFailure::StopSetEvent:
        return {kThreadStop, 146};
    case ThreadFailure::StopCloseThread:
        return {kThreadStop, 152};
    case ThreadFailure::ExitCloseThreadEvent:
        return {managerFunction(role, false), 219};
    case ThreadFailure::ExitCloseGoEvent:
        return {managerFunction(role, false), 226};
    case ThreadFailure::AddGoEvent:
        return {managerFunction(role, true), 243};
    case ThreadFailure::AddThreadEvent:
        return {managerFunction(role, true), 253};
    }
    return {"", 0};
}

} // namespace

void reportThreadFailure(ThreadFailure failure, ThreadRole role)
{
    const FailureSite site = siteOf(failure, role);
    reportWin32Error(site.function, "bthread", site.line);
}

void reportMissingHandle(ThreadFailure failure, ThreadRole role)
{
    platform::setLastError(platform::kErrorInvalidHandle);
    reportThreadFailure(failure, role);
}

void setOutOfMemoryError() { platform::setLastError(kOutOfMemory); }

} // namespace VadiZov
