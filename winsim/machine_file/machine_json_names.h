// The names machine files give the enumerations of the model.
#pragma once
#include <winsim/machine.h>

namespace winsim::machine_json {

// Enumerations by their names. Each enum has a NameOf with a switch and no
// default, so a new enumerator is a -Wswitch error until it is named here.
constexpr const char* NameOf(ProgramKind kind) {
  switch (kind) {
    case ProgramKind::Program: return "Program";
    case ProgramKind::System: return "System";
    case ProgramKind::Installer: return "Installer";
    case ProgramKind::Spooler: return "Spooler";
  }
  return nullptr;
}
constexpr const char* NameOf(HandleKind kind) {
  switch (kind) {
    case HandleKind::File: return "File";
    case HandleKind::Key: return "Key";
    case HandleKind::ServiceManager: return "ServiceManager";
    case HandleKind::Service: return "Service";
    case HandleKind::Mutex: return "Mutex";
    case HandleKind::Process: return "Process";
    case HandleKind::Thread: return "Thread";
    case HandleKind::Printer: return "Printer";
    case HandleKind::Find: return "Find";
  }
  return nullptr;
}
constexpr const char* NameOf(EventKind kind) {
  switch (kind) {
    case EventKind::ServiceState: return "ServiceState";
    case EventKind::HoldEnds: return "HoldEnds";
    case EventKind::ProcessQuits: return "ProcessQuits";
    case EventKind::WindowCloses: return "WindowCloses";
  }
  return nullptr;
}
constexpr const char* NameOf(DialogAction action) {
  switch (action) {
    case DialogAction::CloseButton: return "CloseButton";
    case DialogAction::Enter: return "Enter";
    case DialogAction::Escape: return "Escape";
    case DialogAction::CaptionClose: return "CaptionClose";
  }
  return nullptr;
}
inline const char* TypeName(ProgramKind) { return "ProgramKind"; }
inline const char* TypeName(HandleKind) { return "HandleKind"; }
inline const char* TypeName(EventKind) { return "EventKind"; }
inline const char* TypeName(DialogAction) { return "DialogAction"; }

}  // namespace winsim::machine_json
