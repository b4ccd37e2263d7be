// kova-service: the local stand-in for the operator's web service, its
// version manifest, the update download and the public IP echo.
#include <iostream>

#include "admin.h"
#include "options.h"
#include "seed.h"
#include "server.h"

namespace {

const char kUsage[] =
    "usage:\n"
    "  kova-service seed DIR [--iterations N]\n"
    "  kova-service serve --data DIR [--https-port N] [--http-port N] [--listen 127.0.0.1] [--fault KIND[:k=v,...]] [--admin]\n"
    "  kova-service approve DIR --cust ID --branch NO --account NO\n"
    "  kova-service manifest DIR [--version V] [--file PATH [--name NAME]] [--url URL]\n"
    "  kova-service dump DIR\n";

int Usage(const std::string& error) {
    if (!error.empty()) std::cerr << "kova-service: " << error << "\n";
    std::cerr << kUsage;
    return 2;
}

bool Only(const kovasvc::CommandLine& cl, std::initializer_list<const char*> allowed, std::string& error) {
    for (const auto& [key, value] : cl.options) {
        bool known = false;
        for (const char* a : allowed) known = known || key == a;
        if (!known) {
            error = "unknown option --" + key + " for " + cl.command;
            return false;
        }
    }
    if (cl.dir.empty()) {
        error = "no data folder";
        return false;
    }
    return true;
}

int ServeMain(const kovasvc::CommandLine& cl) {
    std::string error;
    if (!Only(cl, {"https-port", "http-port", "listen", "fault", "admin"}, error)) return Usage(error);
    kovasvc::ServeOptions options;
    options.dir = cl.dir;
    auto get = [&](const char* key, std::string fallback) {
        auto it = cl.options.find(key);
        return it == cl.options.end() ? fallback : it->second;
    };
    options.listen = get("listen", "127.0.0.1");
    options.admin = cl.options.count("admin") > 0;
    if (!kovasvc::IsLoopbackAddress(options.listen))
        return Usage("refusing to listen on " + options.listen + ": only a numeric loopback address is allowed");
    if (!kovasvc::ParsePort(get("https-port", "8443"), options.httpsPort) ||
        !kovasvc::ParsePort(get("http-port", "8080"), options.httpPort))
        return Usage("ports must be 0..65535");
    if (cl.options.count("fault") && !kovasvc::ParseFaultOption(cl.options.at("fault"), options.fault, error))
        return Usage(error);
    return kovasvc::Serve(options);
}

} // namespace

int main(int argc, char** argv) {
    kovasvc::CommandLine cl;
    std::string error;
    if (!kovasvc::ParseCommandLine(argc, argv, cl, error)) return Usage(error);
    if (cl.command == "serve") return ServeMain(cl);
    if (cl.command == "seed") {
        if (!Only(cl, {"iterations"}, error)) return Usage(error);
        int iterations = kovasvc::kDefaultIterations;
        if (cl.options.count("iterations") &&
            !kovasvc::ParseInt(cl.options.at("iterations"), 1000, 10000000, iterations))
            return Usage("--iterations must be 1000..10000000");
        return kovasvc::SeedCommand(cl.dir, iterations);
    }
    if (cl.command == "approve") return Only(cl, {"cust", "branch", "account"}, error) ? kovasvc::ApproveCommand(cl) : Usage(error);
    if (cl.command == "manifest")
        return Only(cl, {"version", "file", "name", "url"}, error) ? kovasvc::ManifestCommand(cl) : Usage(error);
    if (cl.command == "dump") return Only(cl, {}, error) ? kovasvc::DumpCommand(cl) : Usage(error);
    return Usage(cl.command == "help" || cl.command == "--help" ? "" : "unknown command: " + cl.command);
}
