// The spooler service and the spooler's objects in a machine file.
#include "machine_json_codec.h"

namespace winsim::machine_json {

SAVED_FIELDS(Service, 14);
SAVED_FIELDS(Services, 2);
SAVED_FIELDS(Monitor, 3);
SAVED_FIELDS(Driver, 15);
SAVED_FIELDS(PrintJob, 2);
SAVED_FIELDS(Printer, 20);
SAVED_FIELDS(PrintEnvironment, 2);
SAVED_FIELDS(Spooler, 9);

template <typename V>
void Fields(V& v, Like<V, Service>& s) {
  v.Opt("name", s.name);
  v.Opt("image", s.image);
  v.Req("state", AsNamed(s.state, "a service state", kServiceStates));
  v.Opt("autoStart", s.autoStart);
  v.Opt("stopMs", s.stopMs);
  v.Opt("startMs", s.startMs);
  v.Opt("stopRefusal", s.stopRefusal);
  v.Opt("startNeverCompletes", s.startNeverCompletes);
  v.Opt("openError", s.openError);
  v.Opt("grantableRights", s.grantableRights);
  v.Opt("stopsAccepted", s.stopsAccepted);
  v.Opt("startsAccepted", s.startsAccepted);
  v.Opt("transition", s.transition);
  v.Opt("process", s.process);
}
template <typename V>
void Fields(V& v, Like<V, Services>& s) {
  v.Opt("managerOpenError", s.managerOpenError);
  v.Opt("spooler", s.spooler);
}

template <typename V>
void Fields(V& v, Like<V, Monitor>& m) {
  v.Req("name", m.name);
  v.Opt("environment", m.environment);
  v.Req("dll", m.dll);
}
template <typename V>
void Fields(V& v, Like<V, Driver>& d) {
  v.Req("name", d.name);
  v.Opt("environment", d.environment);
  v.Opt("version", d.version);
  v.Opt("driverPath", d.driverPath);
  v.Opt("dataFile", d.dataFile);
  v.Opt("configFile", d.configFile);
  v.Opt("helpFile", d.helpFile);
  v.Opt("dependentFiles", d.dependentFiles);
  v.Opt("monitorName", d.monitorName);
  v.Opt("defaultDataType", d.defaultDataType);
  v.Opt("previousNames", d.previousNames);
  v.Opt("mfgName", d.mfgName);
  v.Opt("oemUrl", d.oemUrl);
  v.Opt("hardwareId", d.hardwareId);
  v.Opt("provider", d.provider);
}
template <typename V>
void Fields(V& v, Like<V, PrintJob>& j) {
  v.Req("id", j.id);
  v.Opt("document", j.document);
}

// Printer data: {"PRINTERDRIVERDATA": [values]}, keys kept folded.
template <typename M>
struct PrinterData {
  M& keys;
};
template <typename M>
PrinterData<M> DataKeys(M& keys) {
  return PrinterData<M>{keys};
}
template <typename M>
Json ToJson(const PrinterData<M>& data) {
  Json out = Json::object();
  for (const auto& [key, values] : data.keys)
    out[Narrow(key)] = ToJson(AsList(values, KeyedBy<RegistryValue>(FoldedName)));
  return out;
}
template <typename M>
void FromJson(const Json& j, const std::string& path, PrinterData<M> data) {
  if (!j.is_object()) Expected(path, "an object", j);
  data.keys.clear();
  for (const auto& member : j.items()) {
    const std::string at = MemberPath(path, member.key());
    const std::u16string key = FoldCase(Widen(member.key()));
    if (data.keys.count(key) != 0) Fail(at, "the same key as another, without regard to case");
    FromJson(member.value(), at, AsList(data.keys[key], KeyedBy<RegistryValue>(FoldedName)));
  }
}

template <typename V>
void Fields(V& v, Like<V, Printer>& p) {
  v.Req("name", p.name);
  v.Opt("shareName", p.shareName);
  v.Opt("port", p.port);
  v.Opt("driver", p.driver);
  v.Opt("comment", p.comment);
  v.Opt("location", p.location);
  v.Opt("sepFile", p.sepFile);
  v.Opt("printProcessor", p.printProcessor);
  v.Opt("datatype", p.datatype);
  v.Opt("parameters", p.parameters);
  v.Opt("attributes", p.attributes);
  v.Opt("priority", p.priority);
  v.Opt("defaultPriority", p.defaultPriority);
  v.Opt("startTime", p.startTime);
  v.Opt("untilTime", p.untilTime);
  v.Opt("status", p.status);
  v.Opt("averagePpm", p.averagePpm);
  v.Opt("jobs", p.jobs);
  v.Opt("data", DataKeys(p.data));
  v.Opt("deletePending", p.deletePending);
}
template <typename V>
void Fields(V& v, Like<V, PrintEnvironment>& e) {
  v.Req("name", e.name);
  v.Req("driverDirectory", e.driverDirectory);
}
template <typename V>
void Fields(V& v, Like<V, Spooler>& s) {
  v.Opt("monitors", s.monitors);
  v.Opt("drivers", s.drivers);
  v.Opt("printers", s.printers);
  v.Opt("defaultPrinter", s.defaultPrinter);
  v.Opt("printProcessors", s.printProcessors);
  v.Opt("environments", s.environments);
  v.Opt("stagedHoldMs", s.stagedHoldMs);
  v.Opt("grantableAccess", s.grantableAccess);
  v.Opt("nextJobId", s.nextJobId);
}

Json ToJson(const Services& services) { return SaveFields(services); }
void FromJson(const Json& j, const std::string& path, Services& services) { LoadFields(j, path, services); }
Json ToJson(const Spooler& spooler) { return SaveFields(spooler); }
void FromJson(const Json& j, const std::string& path, Spooler& spooler) { LoadFields(j, path, spooler); }

}  // namespace winsim::machine_json
