#include "testsignal/TestPlan.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "core/RinglarkError.h"
#include "core/UserMessages.h"
#include "generation/MessageBuilder.h"

namespace ringlark {

namespace {

const std::vector<std::string> kKinds = {"sdmf", "mdmf", "cwcid", "vmwi-on", "vmwi-off"};

std::string Text(const nlohmann::json& o, const char* key, const std::string& fallback) {
    if (!o.contains(key)) {
        return fallback;
    }
    if (!o[key].is_string()) {
        throw RinglarkError(std::string("\"") + key + "\" must be a text");
    }
    return o[key].get<std::string>();
}

int Count(const nlohmann::json& o, const char* key, int fallback, int min, int max) {
    if (!o.contains(key)) {
        return fallback;
    }
    if (!o[key].is_number_integer() || o[key].get<int64_t>() < min || o[key].get<int64_t>() > max) {
        throw RinglarkError(std::string("\"") + key + "\" must be a whole number from " +
                            std::to_string(min) + " to " + std::to_string(max));
    }
    return o[key].get<int>();
}

void CheckKeys(const nlohmann::json& o, const std::vector<std::string>& known, const char* what) {
    if (!o.is_object()) {
        throw RinglarkError(std::string(what) + " must be a JSON object");
    }
    for (const auto& [key, value] : o.items()) {
        if (std::find(known.begin(), known.end(), key) == known.end()) {
            throw RinglarkError(std::string("unknown key \"") + key + "\" in " + what);
        }
    }
}

TPlanMessage MessageFromJson(const nlohmann::json& o, const TPlanMessage& base) {
    CheckKeys(o, {"kind", "number", "name", "date", "time", "corrupt_checksum"}, "a message");
    TPlanMessage m = base;
    m.Kind = Text(o, "kind", base.Kind);
    if (std::find(kKinds.begin(), kKinds.end(), m.Kind) == kKinds.end()) {
        throw RinglarkError("\"kind\" must be sdmf, mdmf, cwcid, vmwi-on or vmwi-off");
    }
    m.Number = Text(o, "number", base.Number);
    m.Name = Text(o, "name", base.Name);
    m.Date = Text(o, "date", base.Date);
    m.Time = Text(o, "time", base.Time);
    if (o.contains("corrupt_checksum")) {
        if (!o["corrupt_checksum"].is_boolean()) {
            throw RinglarkError("\"corrupt_checksum\" must be true or false");
        }
        m.CorruptChecksum = o["corrupt_checksum"].get<bool>();
    }
    return m;
}

nlohmann::json MessageJson(const TPlanMessage& m) {
    return {{"kind", m.Kind}, {"number", m.Number}, {"name", m.Name},
            {"date", m.Date}, {"time", m.Time},     {"corrupt_checksum", m.CorruptChecksum}};
}

}  // namespace

double PlanDbmAtFs(const TPlan& plan) {
    for (const auto& p : plan.Parameters) {
        if (p.Name == "dbm_at_fs") {
            return p.Value;
        }
    }
    return 3.14;
}

std::string_view ExpectName(TExpect expect) {
    return expect == TExpect::Accept ? "accept" : expect == TExpect::Reject ? "reject" : "any";
}

TPlan PlanFromJson(const std::string& text, const std::string& label) {
    try {
        const nlohmann::json o = nlohmann::json::parse(text);
        CheckKeys(o,
                  {"name", "title", "standard", "signalling", "alert", "dbm_at_fs", "runs",
                   "allowed_failures", "sensitivity", "message", "conditions", "parameters"},
                  "the plan");
        TPlan plan;
        plan.Name = Text(o, "name", label);
        plan.Title = Text(o, "title", plan.Name);
        const auto standard = StandardNamed(Text(o, "standard", "bell"));
        if (!standard) {
            throw RinglarkError("\"standard\" must be bell, etsi, bt or dtmf");
        }
        plan.Standard = *standard;
        const std::string signalling = Text(o, "signalling", "on-hook");
        if (signalling != "on-hook" && signalling != "call-waiting") {
            throw RinglarkError("\"signalling\" must be on-hook or call-waiting");
        }
        plan.Signalling = signalling == "on-hook" ? TSignalling::OnHook : TSignalling::CallWaiting;
        plan.Alert = o.value("alert", false);
        plan.Sensitivity = o.value("sensitivity", false);
        double dbmAtFs = 3.14;
        if (o.contains("dbm_at_fs")) {
            if (!o["dbm_at_fs"].is_number()) {
                throw RinglarkError("\"dbm_at_fs\" must be a number");
            }
            dbmAtFs = o["dbm_at_fs"].get<double>();
        }
        plan.Parameters.push_back({"dbm_at_fs", dbmAtFs, "level in dBm of a full-scale sine"});
        for (const auto& p : o.value("parameters", nlohmann::json::array())) {
            if (p.value("name", "") != "dbm_at_fs") {
                plan.Parameters.push_back(
                    {p.value("name", ""), p.value("value", 0.0), p.value("meaning", "")});
            } else {
                plan.Parameters.front().Meaning = p.value("meaning", "");
            }
        }
        const int runs = Count(o, "runs", 1, 1, 10000);
        plan.AllowedFailures = Count(o, "allowed_failures", 0, 0, 10000);
        const TPlanMessage message =
            o.contains("message") ? MessageFromJson(o["message"], {}) : TPlanMessage{};
        if (!o.contains("conditions") || !o["conditions"].is_array() || o["conditions"].empty()) {
            throw RinglarkError("\"conditions\" must be a list of at least one condition");
        }
        for (const auto& item : o["conditions"]) {
            CheckKeys(item,
                      {"name", "description", "source", "expect", "runs", "impairments", "message"},
                      "a condition");
            TPlanCondition c;
            c.Name = Text(item, "name", "condition-" + std::to_string(plan.Conditions.size() + 1));
            c.Description = Text(item, "description", "");
            c.Source = Text(item, "source", "");
            const std::string expect = Text(item, "expect", "accept");
            if (expect != "accept" && expect != "reject" && expect != "any") {
                throw RinglarkError("condition " + c.Name +
                                    ": \"expect\" must be accept, reject or any");
            }
            c.Expect = expect == "accept"   ? TExpect::Accept
                       : expect == "reject" ? TExpect::Reject
                                            : TExpect::Any;
            c.Runs = Count(item, "runs", runs, 1, 10000);
            try {
                if (item.contains("impairments")) {
                    c.Impairments = ImpairmentsFromJson(item["impairments"], dbmAtFs);
                }
                c.Message =
                    item.contains("message") ? MessageFromJson(item["message"], message) : message;
                if (plan.Standard == TCidStandard::Dtmf && c.Message.CorruptChecksum) {
                    throw RinglarkError("DTMF has no checksum to corrupt");
                }
                PlanSignal(plan, c, 0, 44100);  // every value checked now
            } catch (const RinglarkError& e) {
                throw RinglarkError("condition " + c.Name + ": " + e.what());
            }
            plan.Conditions.push_back(std::move(c));
        }
        return plan;
    } catch (const nlohmann::json::exception& e) {
        throw RinglarkError(msg::PlanNotRead(label, e.what()));
    } catch (const RinglarkError& e) {
        throw RinglarkError(msg::PlanNotRead(label, e.what()));
    }
}

nlohmann::json PlanJson(const TPlan& plan) {
    nlohmann::json o = {
        {"name", plan.Name},
        {"title", plan.Title},
        {"standard", StandardName(plan.Standard)},
        {"signalling", plan.Signalling == TSignalling::OnHook ? "on-hook" : "call-waiting"},
        {"alert", plan.Alert},
        {"sensitivity", plan.Sensitivity},
        {"dbm_at_fs", PlanDbmAtFs(plan)},
        {"allowed_failures", plan.AllowedFailures}};
    nlohmann::json parameters = nlohmann::json::array();
    for (const auto& p : plan.Parameters) {
        parameters.push_back({{"name", p.Name}, {"value", p.Value}, {"meaning", p.Meaning}});
    }
    o["parameters"] = parameters;
    nlohmann::json conditions = nlohmann::json::array();
    for (const auto& c : plan.Conditions) {
        conditions.push_back({{"name", c.Name},
                              {"description", c.Description},
                              {"source", c.Source},
                              {"expect", ExpectName(c.Expect)},
                              {"runs", c.Runs},
                              {"impairments", ImpairmentsJson(c.Impairments)},
                              {"message", MessageJson(c.Message)}});
    }
    o["conditions"] = conditions;
    return o;
}

std::string PlanFileName(std::size_t condition, const std::string& name, int run) {
    std::string safe;
    for (char c : name) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == '_';
        safe += keep ? c : '_';
    }
    char file[200];
    std::snprintf(file, sizeof file, "%03zu-%s-%03d.wav", condition + 1, safe.c_str(), run);
    return file;
}

TPlanSignal PlanSignal(const TPlan& plan, const TPlanCondition& condition, int run, int rate) {
    TPlanSignal out;
    TTestSignal& s = out.Signal;
    s.Standard = plan.Standard;
    s.Alert = plan.Alert;
    s.Rate = rate;
    s.Impairments = condition.Impairments;
    if (s.Impairments.SnrDb) {
        s.Impairments.Seed = s.Impairments.Seed.value_or(1) + static_cast<uint64_t>(run);
    }
    const TPlanMessage& m = condition.Message;
    for (char c : m.Number) {
        if (c >= '0' && c <= '9') {
            out.Number += c;
        }
    }
    if (plan.Standard == TCidStandard::Dtmf) {
        s.Digits = DtmfDigits(m.Number, false, false, TDtmfFraming::StartAEndC);
        out.Message = s.Digits;
    } else {
        TCidRequest request;
        request.Kind = m.Kind == "sdmf"       ? TMessageKind::Sdmf
                       : m.Kind == "vmwi-on"  ? TMessageKind::VmwiOn
                       : m.Kind == "vmwi-off" ? TMessageKind::VmwiOff
                                              : TMessageKind::Mdmf;
        request.NumberText = m.Number;
        request.NameText = m.Name;
        request.DateText = m.Date;
        request.TimeText = m.Time;
        request.Signalling = m.Kind == "cwcid" ? TSignalling::CallWaiting : plan.Signalling;
        s.Signalling = request.Signalling;
        s.Message = BuildCidMessage(request, {});
        if (m.CorruptChecksum && !s.Message.empty()) {
            s.Message.back() = static_cast<char>(s.Message.back() ^ 0x01);
        }
        if (request.Kind == TMessageKind::VmwiOn || request.Kind == TMessageKind::VmwiOff) {
            out.Number.clear();
        }
        out.Message = s.Message;
    }
    CheckTestSignal(s);
    return out;
}

}  // namespace ringlark
