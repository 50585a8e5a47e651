// sqlsim: runs simulated SQL Server instances on loopback until SIGINT or SIGTERM.

#include "SimControlServer.h"
#include "SqlBrowserResponder.h"
#include "SqlSimServer.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <pthread.h>
#include <string>
#include <vector>

namespace {

const char *kUsage =
    "Usage: sqlsim [options]\n"
    "Runs simulated SQL Server instances that speak TDS (7.1 to 7.4) on loopback, for tests\n"
    "and the demo. Stops on SIGINT or SIGTERM.\n"
    "\n"
    "  --port N            TDS port of the first instance (default 1433; 0: any free port)\n"
    "  --instances K       run K instances on ports N, N+1, ... (default 1, at most 64)\n"
    "  --bind ADDR         IPv4 address to listen on (default 127.0.0.1)\n"
    "  --seed S            workload seed; instance i uses S+i (default 1)\n"
    "  --sessions N        simulated user sessions per instance (default 40)\n"
    "  --churn P           percent of user sessions replaced per poll (default 2)\n"
    "  --uptime SECONDS    how long ago the simulated server started (default 7200)\n"
    "  --login NAME:PASSWORD[:getsql=0|1][:alldb=0|1]\n"
    "                      accepted SQL login; repeatable. The first --login replaces the\n"
    "                      default login sa:Kivra-Test-1. getsql=0: no fn_get_sql permission;\n"
    "                      alldb=0: access to master and tempdb only\n"
    "  --no-stmt-start     sysprocesses lacks the stmt_start column (a pre-SP3 server)\n"
    "  --server-name NAME  server name in messages (default SQLSIM)\n"
    "  --control-port N    serve the control line protocol on this port (0: any free port;\n"
    "                      default: no control port). Commands: help, instance N, status,\n"
    "                      delay MS, pause, resume, drop, refuse, accept, restart,\n"
    "                      cpu PERCENT|auto, sessions N, churn P, block start [N], block end,\n"
    "                      kill SPID, login NAME PASSWORD [getsql=0|1] [alldb=0|1],\n"
    "                      nologin NAME, feature nostmtstart on|off, fail TEXT, nofail,\n"
    "                      quit\n"
    "  --browser           answer SQL Server Browser requests (UDP) on the --bind address,\n"
    "                      naming the instances SQLSIM1, SQLSIM2, ... so that clients can\n"
    "                      list them and connect to ADDR\\SQLSIMn (default: off)\n"
    "  --browser-port N    UDP port of the browser answers (default 1434)\n"
    "  --help              this text\n";

struct Options {
    long Port = 1433;
    long Instances = 1;
    long ControlPort = -1;
    bool Browser = false;
    long BrowserPort = 1434;
    SqlSimOptions Sim;
    bool LoginGiven = false;
};

bool Number(const char *text, long lo, long hi, long &out) {
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (!*text || *end || errno || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool ParseLogin(const std::string &spec, SimLogin &out) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= spec.size(); ++i) {
        if (i == spec.size() || spec[i] == ':') {
            parts.push_back(spec.substr(start, i - start));
            start = i + 1;
        }
    }
    if (parts.size() < 2 || parts[0].empty()) return false;
    out = {parts[0], parts[1], true, true};
    for (size_t i = 2; i < parts.size(); ++i) {
        if (parts[i] == "getsql=0" || parts[i] == "getsql=1")
            out.MayGetSql = parts[i].back() == '1';
        else if (parts[i] == "alldb=0" || parts[i] == "alldb=1")
            out.AllDatabases = parts[i].back() == '1';
        else
            return false;
    }
    return true;
}

int Fail(const std::string &message) {
    std::fprintf(stderr, "sqlsim: %s\nTry 'sqlsim --help'.\n", message.c_str());
    return 2;
}

// Reads the command line into o: -1 to run, otherwise the exit code (0 after --help).
int ParseOptions(int argc, char **argv, Options &o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](long lo, long hi, long &out) {
            return i + 1 < argc && Number(argv[++i], lo, hi, out);
        };
        long v = 0;
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--port") {
            if (!value(0, 65535, o.Port)) return Fail("--port wants 0..65535");
        } else if (a == "--instances") {
            if (!value(1, 64, o.Instances)) return Fail("--instances wants 1..64");
        } else if (a == "--control-port") {
            if (!value(0, 65535, o.ControlPort)) return Fail("--control-port wants 0..65535");
        } else if (a == "--seed") {
            if (!value(0, 0x7FFFFFFF, v)) return Fail("--seed wants a number 0..2147483647");
            o.Sim.Workload.Seed = static_cast<uint64_t>(v);
        } else if (a == "--sessions") {
            if (!value(0, 30000, v)) return Fail("--sessions wants 0..30000");
            o.Sim.Workload.UserSessions = static_cast<int>(v);
        } else if (a == "--churn") {
            if (!value(0, 100, v)) return Fail("--churn wants 0..100");
            o.Sim.Workload.ChurnPercent = static_cast<double>(v);
        } else if (a == "--uptime") {
            if (!value(0, 100000000, v)) return Fail("--uptime wants seconds");
            o.Sim.Workload.UptimeSeconds = v;
        } else if (a == "--login") {
            SimLogin l;
            if (i + 1 >= argc || !ParseLogin(argv[++i], l))
                return Fail("--login wants NAME:PASSWORD[:getsql=0|1][:alldb=0|1]");
            if (!o.LoginGiven) o.Sim.Logins.clear();
            o.LoginGiven = true;
            o.Sim.Logins.push_back(l);
        } else if (a == "--browser") {
            o.Browser = true;
        } else if (a == "--browser-port") {
            if (!value(0, 65535, o.BrowserPort)) return Fail("--browser-port wants 0..65535");
        } else if (a == "--no-stmt-start") {
            o.Sim.NoStmtStart = true;
        } else if (a == "--bind") {
            if (i + 1 >= argc) return Fail("--bind wants an IPv4 address");
            o.Sim.BindAddress = argv[++i];
        } else if (a == "--server-name") {
            if (i + 1 >= argc) return Fail("--server-name wants a name");
            o.Sim.ServerName = argv[++i];
        } else {
            return Fail("unknown option '" + a + "'");
        }
    }
    if (o.Port != 0 && o.Port + o.Instances - 1 > 65535)
        return Fail("the instances' ports pass 65535");
    return -1;
}

}  // namespace

int main(int argc, char **argv) {
    Options o;
    if (const int code = ParseOptions(argc, argv, o); code >= 0) return code;

    // Signals are taken by sigwait below; every thread started from here inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::vector<std::unique_ptr<SqlSimServer>> servers;
    std::vector<SqlSimServer *> pointers;
    for (long i = 0; i < o.Instances; ++i) {
        SqlSimOptions so = o.Sim;
        so.Port = static_cast<uint16_t>(o.Port == 0 ? 0 : o.Port + i);
        so.Workload.Seed = o.Sim.Workload.Seed + static_cast<uint64_t>(i);
        servers.emplace_back(new SqlSimServer(so));
        std::string error;
        if (!servers.back()->Start(&error)) {
            std::fprintf(stderr, "sqlsim: instance %ld: %s\n", i, error.c_str());
            return 1;
        }
        pointers.push_back(servers.back().get());
        std::printf("sqlsim: instance %ld listening on %s:%u\n", i, so.BindAddress.c_str(),
                    servers.back()->Port());
    }
    std::unique_ptr<SimControlServer> control;
    if (o.ControlPort >= 0) {
        control.reset(new SimControlServer(pointers, o.Sim.BindAddress));
        std::string error;
        if (!control->Start(static_cast<uint16_t>(o.ControlPort), &error)) {
            std::fprintf(stderr, "sqlsim: %s\n", error.c_str());
            return 1;
        }
        std::printf("sqlsim: control on %s:%u\n", o.Sim.BindAddress.c_str(), control->Port());
    }
    SqlBrowserResponder browser;
    if (o.Browser) {
        std::vector<SqlBrowserResponder::Instance> named;
        for (size_t i = 0; i < servers.size(); ++i)
            named.push_back({"SQLSIM" + std::to_string(i + 1), servers[i]->Port()});
        browser.SetInstances(named);
        std::string error;
        if (!browser.Start(o.Sim.BindAddress, static_cast<uint16_t>(o.BrowserPort), error)) {
            std::fprintf(stderr, "sqlsim: browser: %s\n", error.c_str());
            return 1;
        }
        std::printf("sqlsim: browser on %s:%u (instances SQLSIM1..SQLSIM%zu)\n",
                    o.Sim.BindAddress.c_str(), browser.Port(), servers.size());
    }
    std::fflush(stdout);

    int sig = 0;
    sigwait(&signals, &sig);
    std::printf("sqlsim: stopping\n");
    browser.Stop();
    if (control) control->Stop();
    for (auto &s : servers) s->Stop();
    return 0;
}
