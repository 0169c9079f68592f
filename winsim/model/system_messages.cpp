// English texts of the system error codes the installer can meet, as
// Windows' system message table gives them.
#include <winsim/system_messages.h>

#include <windows.h>

namespace winsim {

const char* SystemMessageText(DWORD code) {
  switch (code) {
    case 0: return "The operation completed successfully.";
    case 1: return "Incorrect function.";
    case 2: return "The system cannot find the file specified.";
    case 3: return "The system cannot find the path specified.";
    case 5: return "Access is denied.";
    case 6: return "The handle is invalid.";
    case 8: return "Not enough memory resources are available to process this command.";
    case 13: return "The data is invalid.";
    case 14: return "Not enough memory resources are available to complete this operation.";
    case 23: return "Data error (cyclic redundancy check).";
    case 32: return "The process cannot access the file because it is being used by another process.";
    case 50: return "The request is not supported.";
    case 80: return "The file exists.";
    case 87: return "The parameter is incorrect.";
    case 112: return "There is not enough space on the disk.";
    case 120: return "This function is not supported on this system.";
    case 122: return "The data area passed to a system call is too small.";
    case 123: return "The filename, directory name, or volume label syntax is incorrect.";
    case 124: return "The system call level is not correct.";
    case 126: return "The specified module could not be found.";
    case 127: return "The specified procedure could not be found.";
    case 183: return "Cannot create a file when that file already exists.";
    case 206: return "The filename or extension is too long.";
    case 234: return "More data is available.";
    case 259: return "No more data is available.";
    case 998: return "Invalid access to memory location.";
    case 1051: return "A stop control has been sent to a service that other running services are dependent on.";
    case 1052: return "The requested control is not valid for this service.";
    case 1053: return "The service did not respond to the start or control request in a timely fashion.";
    case 1056: return "An instance of the service is already running.";
    case 1058:
      return "The service cannot be started, either because it is disabled or because it has no enabled "
             "devices associated with it.";
    case 1060: return "The specified service does not exist as an installed service.";
    case 1061: return "The service cannot accept control messages at this time.";
    case 1062: return "The service has not been started.";
    case 1400: return "Invalid window handle.";
    case 1722: return "The RPC server is unavailable.";
    case 1796: return "The specified port is unknown.";
    case 1797: return "The printer driver is unknown.";
    case 1798: return "The print processor is unknown.";
    case 1801: return "The printer name is invalid.";
    case 1802: return "The printer already exists.";
    case 1805: return "The environment specified is invalid.";
    case 1812: return "The specified image file did not contain a resource section.";
    case 1813: return "The specified resource type cannot be found in the image file.";
    case 3000: return "The specified print monitor is unknown.";
    case 3001: return "The specified printer driver is currently in use.";
    case 3006: return "The specified print monitor has already been installed.";
    case 3008: return "The specified print monitor is currently in use.";
    case 0x8007000E: return "Not enough memory resources are available to complete this operation.";
    default: return nullptr;
  }
}

}  // namespace winsim
