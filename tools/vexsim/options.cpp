#include "options.h"

#include <type_traits>

#include <winsim/machine.h>
#include <winsim/text_format.h>

namespace vexsim {

const char kUsage[] =
    "usage: vexsim [--machine FILE] [--shift] [--close ok|cancel|x] [--owner N] [--trace] [--changes]\n"
    "              [--fail API[#K]:ERROR]... [--fail-call N:ERROR] [--] WORD...\n"
    "       vexsim show [--machine FILE]\n"
    "       vexsim restart [--machine FILE]\n"
    "       vexsim new [--machine FILE] [--from SCENARIO]\n"
    "       vexsim log [N] [--machine FILE]\n"
    "       vexsim --help\n"
    "Options may stand before or after the subcommand; the words after -- are the installer's.\n";

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

// An option: the command it goes with (none: every command) and what it sets.
struct Option {
  const char* name;
  std::optional<Command> command;
  bool takesValue;
  // False with `error` set when the value is not one the option takes.
  bool (*set)(Options& options, const std::string& value, std::string& error);
};

// Sets the member: a flag to true, a text to the option's value.
template <auto member>
bool Set(Options& options, const std::string& value, std::string&) {
  auto& field = options.*member;
  if constexpr (std::is_same_v<std::decay_t<decltype(field)>, bool>) {
    field = true;
  } else {
    field = value;
  }
  return true;
}

bool SetClose(Options& options, const std::string& word, std::string& error) {
  options.close = CloseAction(word);
  if (!options.close) error = "--close takes ok, cancel or x, not " + winsim::Quoted(word);
  return options.close.has_value();
}

// "--fail API[#K]:ERROR" (`named`) or "--fail-call N:ERROR".
template <bool named>
bool SetFault(Options& options, const std::string& text, std::string& error) {
  const auto fault = ParseFault(text, named);
  if (!fault) {
    error = std::string(named ? "--fail takes API[#K]:ERROR" : "--fail-call takes N:ERROR") + ", not " +
            winsim::Quoted(text);
    return false;
  }
  options.faults.push_back(*fault);
  return true;
}

const Option kOptions[] = {
    {"--machine", std::nullopt, true, &Set<&Options::machineFile>},
    {"--from", Command::New, true, &Set<&Options::from>},
    {"--shift", Command::Run, false, &Set<&Options::shift>},
    {"--trace", Command::Run, false, &Set<&Options::trace>},
    {"--changes", Command::Run, false, &Set<&Options::changes>},
    {"--close", Command::Run, true, &SetClose},
    // The window handle the setup program passes: the installer's third element.
    {"--owner", Command::Run, true, &Set<&Options::owner>},
    {"--fail", Command::Run, true, &SetFault<true>},
    {"--fail-call", Command::Run, true, &SetFault<false>},
};

const Option* FindOption(const std::string& name) {
  for (const Option& option : kOptions) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

std::optional<Command> Subcommand(const std::string& word) {
  if (word == "show") return Command::Show;
  if (word == "restart") return Command::Restart;
  if (word == "new") return Command::New;
  if (word == "log") return Command::Log;
  return std::nullopt;
}

std::string Unknown(const std::string& argument) { return "unknown argument " + winsim::Quoted(argument); }

}  // namespace

// Options stand anywhere before "--"; the first other word is the subcommand
// when it names one, else the installer's first word. The options are checked
// against the command once it is known.
std::optional<Options> ParseOptions(const std::vector<std::string>& arguments, std::string& error) {
  Options options;
  std::vector<const Option*> given;
  bool commandKnown = false;  // a word has come: the subcommand, or the installer's first
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help") {
      options.command = Command::Help;
      return options;
    }
    if (argument == "--" && options.command == Command::Run) {
      options.words.insert(options.words.end(), arguments.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                           arguments.end());
      break;
    }
    if (const Option* option = FindOption(argument)) {
      std::string value;
      if (option->takesValue) {
        if (i + 1 >= arguments.size()) {
          error = argument + " needs a value";
          return std::nullopt;
        }
        value = arguments[++i];
      }
      if (!option->set(options, value, error)) return std::nullopt;
      given.push_back(option);
    } else if (commandKnown && options.command == Command::Log && !options.logGiven && argument.rfind("--", 0) != 0) {
      // Which run log: 1 is the newest.
      const auto number = Number(argument, false);
      if (!number) {
        error = "log takes a number from 1, not " + winsim::Quoted(argument);
        return std::nullopt;
      }
      options.log = *number;
      options.logGiven = true;
    } else if (argument.rfind("--", 0) == 0 || (commandKnown && options.command != Command::Run)) {
      error = Unknown(argument);
      return std::nullopt;
    } else if (!commandKnown && Subcommand(argument)) {
      options.command = *Subcommand(argument);
      commandKnown = true;
    } else {
      options.words.push_back(argument);
      commandKnown = true;
    }
  }
  for (const Option* option : given) {
    if (option->command && *option->command != options.command) {
      error = Unknown(option->name);
      return std::nullopt;
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
