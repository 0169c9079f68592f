#include "options.h"

#include <winsim/machine.h>

namespace vexsim {

const char kUsage[] =
    "usage: vexsim [--machine FILE] [--shift] [--close ok|cancel|x] [--owner N] [--trace] [--changes]\n"
    "              [--fail API[#K]:ERROR]... [--fail-call N:ERROR] [--] WORD...\n"
    "       vexsim show [--machine FILE]\n"
    "       vexsim restart [--machine FILE]\n"
    "       vexsim new [--machine FILE] [--from SCENARIO]\n";

namespace {

std::optional<winsim::DialogAction> CloseAction(const std::string& word) {
  if (word == "ok") return winsim::DialogAction::CloseButton;
  if (word == "cancel") return winsim::DialogAction::Escape;
  if (word == "x") return winsim::DialogAction::CaptionClose;
  return std::nullopt;
}

// A whole number from 1 (0 when `zero`) to 4294967295, in decimal.
std::optional<DWORD> Number(const std::string& text, bool zero) {
  if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  const unsigned long long value = std::stoull(text);
  if (value > 0xFFFFFFFFull || (value == 0 && !zero)) return std::nullopt;
  return static_cast<DWORD>(value);
}

// "API#K:ERROR" (`named`) or "N:ERROR" as a fault, or nullopt.
std::optional<FaultOption> ParseFault(const std::string& text, bool named) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos) return std::nullopt;
  const auto error = Number(text.substr(colon + 1), true);
  std::string call = text.substr(0, colon);
  FaultOption fault;
  if (named) {
    const std::size_t hash = call.find('#');
    fault.api = call.substr(0, hash);
    call = hash == std::string::npos ? "1" : call.substr(hash + 1);
    if (fault.api.empty() ||
        fault.api.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_") !=
            std::string::npos) {
      return std::nullopt;
    }
  }
  const auto number = Number(call, false);
  if (!error || !number) return std::nullopt;
  fault.call = *number;
  fault.error = *error;
  return fault;
}

// Quotes one element so that CommandLineToArgvW gives it back unchanged.
std::u16string QuoteArgument(const std::u16string& arg) {
  if (!arg.empty() && arg.find_first_of(u" \t\"") == std::u16string::npos) return arg;
  std::u16string quoted = u"\"";
  std::size_t backslashes = 0;
  for (char16_t c : arg) {
    if (c == u'\\') {
      ++backslashes;
    } else if (c == u'"') {
      quoted.append(backslashes + 1, u'\\');
      backslashes = 0;
    } else {
      backslashes = 0;
    }
    quoted.push_back(c);
  }
  quoted.append(backslashes, u'\\');
  quoted.push_back(u'"');
  return quoted;
}

}  // namespace

std::optional<Options> ParseOptions(const std::vector<std::string>& arguments, std::string& error) {
  Options options;
  std::size_t i = 0;
  if (i < arguments.size()) {
    const std::string& first = arguments[i];
    if (first == "show") options.command = Command::Show;
    if (first == "restart") options.command = Command::Restart;
    if (first == "new") options.command = Command::New;
    if (options.command != Command::Run) ++i;
  }
  const bool runs = options.command == Command::Run;
  // The value after option `name`, or nullopt with the error set.
  auto value = [&](const std::string& name) -> std::optional<std::string> {
    if (i + 1 >= arguments.size()) {
      error = name + " needs a value";
      return std::nullopt;
    }
    return arguments[++i];
  };
  for (; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (runs && argument == "--") {
      options.words.assign(arguments.begin() + static_cast<std::ptrdiff_t>(i) + 1, arguments.end());
      break;
    }
    if (argument == "--machine") {
      const auto file = value(argument);
      if (!file) return std::nullopt;
      options.machineFile = *file;
    } else if (options.command == Command::New && argument == "--from") {
      const auto scenario = value(argument);
      if (!scenario) return std::nullopt;
      options.from = *scenario;
    } else if (runs && argument == "--shift") {
      options.shift = true;
    } else if (runs && argument == "--trace") {
      options.trace = true;
    } else if (runs && argument == "--changes") {
      options.changes = true;
    } else if (runs && argument == "--close") {
      const auto word = value(argument);
      if (!word) return std::nullopt;
      options.close = CloseAction(*word);
      if (!options.close) {
        error = "--close takes ok, cancel or x, not \"" + *word + "\"";
        return std::nullopt;
      }
    } else if (runs && argument == "--owner") {
      // The window handle the setup program passes: the installer's third element.
      const auto owner = value(argument);
      if (!owner) return std::nullopt;
      options.owner = *owner;
    } else if (runs && (argument == "--fail" || argument == "--fail-call")) {
      const bool named = argument == "--fail";
      const auto text = value(argument);
      if (!text) return std::nullopt;
      const auto fault = ParseFault(*text, named);
      if (!fault) {
        error = argument + " takes " + (named ? "API[#K]:ERROR" : "N:ERROR") + ", not \"" + *text + "\"";
        return std::nullopt;
      }
      options.faults.push_back(*fault);
    } else if (argument.rfind("--", 0) == 0 || !runs) {
      error = "unknown argument \"" + argument + "\"";
      return std::nullopt;
    } else {
      options.words.push_back(argument);
    }
  }
  return options;
}

void ArmFaults(const Options& options, winsim::Machine& machine) {
  for (const FaultOption& fault : options.faults) {
    if (fault.api.empty()) {
      machine.FailCall(fault.call, fault.error);
    } else {
      machine.FailCallOf(fault.api, fault.call, fault.error);
    }
  }
}

std::u16string CommandArguments(const Options& options) {
  std::vector<std::string> words = options.words;
  if (options.owner) words.push_back(*options.owner);
  std::u16string line;
  for (const std::string& word : words) {
    if (!line.empty()) line += u' ';
    line += QuoteArgument(winsim::Widen(word));
  }
  return line;
}

}  // namespace vexsim
