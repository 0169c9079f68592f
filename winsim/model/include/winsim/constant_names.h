// The SDK's names of the Windows constants a person reads: in machine files,
// in a trace of the calls a program made, in a report of a machine.
#pragma once
#include <cstddef>

#include <windows.h>
#include <winsvc.h>

namespace winsim {

struct NamedConstant {
  DWORD value;
  const char* name;
};

inline constexpr NamedConstant kServiceStates[] = {
    {SERVICE_STOPPED, "SERVICE_STOPPED"},
    {SERVICE_START_PENDING, "SERVICE_START_PENDING"},
    {SERVICE_STOP_PENDING, "SERVICE_STOP_PENDING"},
    {SERVICE_RUNNING, "SERVICE_RUNNING"},
    {SERVICE_CONTINUE_PENDING, "SERVICE_CONTINUE_PENDING"},
    {SERVICE_PAUSE_PENDING, "SERVICE_PAUSE_PENDING"},
    {SERVICE_PAUSED, "SERVICE_PAUSED"},
};

inline constexpr NamedConstant kServiceControls[] = {
    {SERVICE_CONTROL_STOP, "SERVICE_CONTROL_STOP"},
    {SERVICE_CONTROL_PAUSE, "SERVICE_CONTROL_PAUSE"},
    {SERVICE_CONTROL_CONTINUE, "SERVICE_CONTROL_CONTINUE"},
    {SERVICE_CONTROL_INTERROGATE, "SERVICE_CONTROL_INTERROGATE"},
    {SERVICE_CONTROL_SHUTDOWN, "SERVICE_CONTROL_SHUTDOWN"},
};

inline constexpr NamedConstant kRegistryTypes[] = {
    {REG_NONE, "REG_NONE"},     {REG_SZ, "REG_SZ"},       {REG_EXPAND_SZ, "REG_EXPAND_SZ"},
    {REG_BINARY, "REG_BINARY"}, {REG_DWORD, "REG_DWORD"}, {REG_MULTI_SZ, "REG_MULTI_SZ"},
    {REG_QWORD, "REG_QWORD"},
};

// The name `table` gives `value`, or null when it has none.
template <std::size_t N>
const char* ConstantName(const NamedConstant (&table)[N], DWORD value) {
  for (const NamedConstant& constant : table) {
    if (constant.value == value) return constant.name;
  }
  return nullptr;
}

}  // namespace winsim
