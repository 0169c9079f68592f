// A machine compared across runs: what SaveMachine writes, less what moves
// on from run to run without being a difference in what the run did.
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include <nlohmann/json.hpp>
#include <winsim/machine.h>
#include <winsim/machine_json.h>

// The machine as SaveMachine writes it, less what moves on from run to run
// without being drift: the clock (pending events keep their distance from
// it) and the times files were written on it, the last error, the counters that hand out process ids, handle
// values, window handles and hold ids (never reused, so they only grow),
// the spooler service's stop and start counts and transition stamp (one
// more per restart), ended processes, kept only for their exit code, and
// the run log files with their folders (one more per run, named by its
// time).
// A running process is named by its image wherever it is referred to, so
// the tray program started anew is the same tray program.
inline nlohmann::json Canonical(const winsim::Machine& machine) {
  using Json = nlohmann::json;
  Json j = Json::parse(winsim::SaveMachine(machine));
  std::map<std::uint64_t, std::string> images;
  Json running = Json::array();
  for (Json& process : j["processes"]) {
    if (!process["running"].get<bool>()) continue;
    images[process["id"].get<std::uint64_t>()] = process["image"].get<std::string>();
    process.erase("id");
    running.push_back(process);
  }
  j["processes"] = running;
  const auto name = [&images](Json& field) {
    const auto id = field.get<std::uint64_t>();
    if (id != 0) field = images.count(id) != 0 ? images[id] : "an ended process";
  };
  const std::uint64_t now = j["clock"]["now"].get<std::uint64_t>();
  for (Json& event : j["clock"]["events"]) event["at"] = event["at"].get<std::uint64_t>() - now;
  for (Json& handle : j["handles"]["entries"]) {
    handle.erase("value");
    name(handle["process"]);
    name(handle["target"]);
  }
  for (Json& window : j["desktop"]["windows"]) {
    window.erase("handle");
    name(window["process"]);
  }
  for (Json& file : j["files"]["files"]) file.erase("written");
  for (Json& hold : j["files"]["holds"]) {
    hold.erase("id");
    name(hold["process"]);
  }
  for (auto& [key, mutex] : j["mutexes"].items()) name(mutex["owner"]);
  Json& spooler = j["services"]["spooler"];
  name(spooler["process"]);
  for (const char* counter : {"stopsAccepted", "startsAccepted", "transition"}) spooler.erase(counter);
  j["clock"].erase("now");
  j["handles"].erase("next");
  j["desktop"].erase("nextHandle");
  j["files"].erase("nextHoldId");
  for (const char* list : {"files", "dirs"}) {
    Json kept = Json::array();
    for (const Json& entry : j["files"][list]) {
      const std::string path = entry.is_string() ? entry.get<std::string>() : entry["path"].get<std::string>();
      if (path.rfind("C:\\ProgramData\\Ravelquill", 0) != 0) kept.push_back(entry);
    }
    j["files"][list] = kept;
  }
  for (const char* field : {"lastError", "nextProcessId", "caller"}) j.erase(field);
  return j;
}
