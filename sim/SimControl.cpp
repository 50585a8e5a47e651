#include "SimControl.h"

#include "SqlSimServer.h"

#include <cstdlib>
#include <sstream>

namespace {

bool ToInt(const std::string &s, long lo, long hi, long &out) {
    if (s.empty()) return false;
    char *end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (*end != '\0' || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool ToFlag(const std::string &s, bool &out) {
    if (s == "1" || s == "on" || s == "yes" || s == "true") {
        out = true;
        return true;
    }
    if (s == "0" || s == "off" || s == "no" || s == "false") {
        out = false;
        return true;
    }
    return false;
}

const char *kHelp =
    "OK commands: help instances instance status delay pause resume drop refuse accept restart "
    "cpu sessions churn block kill login nologin feature fail nofail";

}  // namespace

SimControl::SimControl(std::vector<SqlSimServer *> instances) : Instances(std::move(instances)) {}

std::string SimControl::Execute(const std::string &line) {
    std::istringstream in(line);
    std::vector<std::string> w;
    for (std::string t; in >> t;) w.push_back(t);
    if (w.empty()) return "ERR empty command";
    if (Instances.empty()) return "ERR no instances";
    SqlSimServer &s = *Instances[Current];
    const std::string &cmd = w[0];
    long n = 0;
    auto arity = [&w](size_t lo, size_t hi) { return w.size() >= lo + 1 && w.size() <= hi + 1; };

    if (cmd == "help") return kHelp;
    if (cmd == "instances" && arity(0, 0)) return "OK " + std::to_string(Instances.size());
    if (cmd == "instance" && arity(1, 1)) {
        if (!ToInt(w[1], 0, static_cast<long>(Instances.size()) - 1, n))
            return "ERR no such instance: " + w[1];
        Current = static_cast<size_t>(n);
        return "OK port " + std::to_string(Instances[Current]->Port());
    }
    if (cmd == "status" && arity(0, 0)) {
        std::ostringstream o;
        o << "OK port " << s.Port() << " clients " << s.ClientCount() << " sessions "
          << s.Workload().SessionCount() << " delay " << s.Delay() << " paused "
          << (s.Paused() ? 1 : 0) << " refusing " << (s.RefusingConnections() ? 1 : 0) << " cpu "
          << s.Workload().CpuLoad() << " nostmtstart " << (s.NoStmtStart() ? 1 : 0);
        return o.str();
    }
    if (cmd == "delay" && arity(1, 1)) {
        if (!ToInt(w[1], 0, 3600000, n)) return "ERR delay wants milliseconds 0..3600000";
        s.SetDelay(static_cast<int>(n));
        return "OK";
    }
    if ((cmd == "pause" || cmd == "resume") && arity(0, 0)) {
        s.SetPaused(cmd == "pause");
        return "OK";
    }
    if (cmd == "drop" && arity(0, 0)) {
        s.DropConnections();
        return "OK";
    }
    if ((cmd == "refuse" || cmd == "accept") && arity(0, 0)) {
        s.SetRefuseConnections(cmd == "refuse");
        return "OK";
    }
    if (cmd == "restart" && arity(0, 0)) {
        s.Restart();
        return "OK";
    }
    if (cmd == "cpu" && arity(1, 1)) {
        if (w[1] == "auto") {
            s.SetCpuLoad(-1);
            return "OK";
        }
        if (!ToInt(w[1], 0, 100, n)) return "ERR cpu wants 0..100 or auto";
        s.SetCpuLoad(static_cast<int>(n));
        return "OK";
    }
    if (cmd == "sessions" && arity(1, 1)) {
        if (!ToInt(w[1], 0, 30000, n)) return "ERR sessions wants 0..30000";
        s.SetSessionCount(static_cast<int>(n));
        return "OK";
    }
    if (cmd == "churn" && arity(1, 1)) {
        char *end = nullptr;
        const double p = std::strtod(w[1].c_str(), &end);
        if (w[1].empty() || *end != '\0' || p < 0 || p > 100)
            return "ERR churn wants a percentage 0..100";
        s.SetChurn(p);
        return "OK";
    }
    if (cmd == "block" && arity(1, 2)) {
        if (w[1] == "start") {
            n = 3;
            if (w.size() == 3 && !ToInt(w[2], 1, 100, n))
                return "ERR block start wants 1..100 blocked sessions";
            const int head = s.StartBlockingChain(static_cast<int>(n));
            return head ? "OK " + std::to_string(head) : "ERR not enough idle user sessions";
        }
        if (w[1] == "end" && w.size() == 2) {
            s.EndBlockingChains();
            return "OK";
        }
        return "ERR block start [N] | block end";
    }
    if (cmd == "kill" && arity(1, 1)) {
        if (!ToInt(w[1], 1, 32767, n)) return "ERR kill wants a session id";
        return s.KillSession(static_cast<int>(n)) ? "OK" : "ERR no such user session: " + w[1];
    }
    if (cmd == "login" && arity(2, 4)) {
        SimLogin l{w[1], w[2], true, true};
        for (size_t i = 3; i < w.size(); ++i) {
            const size_t eq = w[i].find('=');
            const std::string key = w[i].substr(0, eq);
            bool v = false;
            if (eq == std::string::npos || !ToFlag(w[i].substr(eq + 1), v) ||
                (key != "getsql" && key != "alldb"))
                return "ERR login NAME PASSWORD [getsql=0|1] [alldb=0|1]";
            (key == "getsql" ? l.MayGetSql : l.AllDatabases) = v;
        }
        s.SetLogin(l);
        return "OK";
    }
    if (cmd == "nologin" && arity(1, 1))
        return s.RemoveLogin(w[1]) ? "OK" : "ERR no such login: " + w[1];
    if (cmd == "feature" && arity(2, 2) && w[1] == "nostmtstart") {
        bool v = false;
        if (!ToFlag(w[2], v)) return "ERR feature nostmtstart on|off";
        s.SetNoStmtStart(v);
        return "OK";
    }
    if (cmd == "fail" && w.size() >= 2) {
        s.SetFailingText(line.substr(line.find(cmd) + cmd.size()));
        return "OK";
    }
    if (cmd == "nofail" && arity(0, 0)) {
        s.SetFailingText(std::string());
        return "OK";
    }
    return "ERR unknown command or wrong arguments: " + line;
}
