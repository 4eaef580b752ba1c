// veldra-campaign: the randomized fault campaign. Creation i of a campaign
// uses seed S + i; a failing creation prints its seed, and --replay runs that
// one creation again and keeps its machine directory.
//
//   veldra-campaign [--count N] [--seed S] [--verbose]
//   veldra-campaign --replay SEED
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "fuzz/campaign/runner.h"

namespace {

// The seed being run, ready to print from a signal handler.
char g_current[96] = "campaign: no creation running\n";

void NoteSeed(std::uint64_t seed) {
    std::snprintf(g_current, sizeof g_current,
                  "campaign: seed %llu crashed or hung\nreplay: veldra-campaign --replay %llu\n",
                  static_cast<unsigned long long>(seed), static_cast<unsigned long long>(seed));
}

extern "C" void PrintSeed() {
    ssize_t ignored = ::write(STDERR_FILENO, g_current, std::strlen(g_current));
    (void)ignored;
}

extern "C" void OnSignal(int signal) {
    PrintSeed();
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

}  // namespace

// The sanitizers' reports end the process without a signal; they call this first.
extern "C" void __sanitizer_set_death_callback(void (*callback)(void)) __attribute__((weak));

namespace {

// A creation of minutes on the virtual clock takes well under a second here.
constexpr unsigned kWatchdogSeconds = 60;

int Usage() {
    std::fprintf(stderr,
                 "usage: veldra-campaign [--count N] [--seed S] [--verbose]\n"
                 "       veldra-campaign --replay SEED\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t count = 100, seed = 1;
    bool verbose = false, replay = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--count" && hasValue) {
            count = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--seed" && hasValue) {
            seed = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--replay" && hasValue) {
            seed = std::strtoull(argv[++i], nullptr, 10);
            count = 1;
            replay = true;
        } else if (arg == "--verbose") {
            verbose = true;
        } else {
            return Usage();
        }
    }
    for (int s : {SIGSEGV, SIGABRT, SIGFPE, SIGBUS, SIGILL, SIGALRM}) ::signal(s, OnSignal);
    if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(PrintSeed);

    auto started = std::chrono::steady_clock::now();
    std::uint64_t failures = 0;
    std::map<std::string, std::uint64_t> outcomes;
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint64_t current = seed + i;
        NoteSeed(current);
        if (verbose) std::printf("campaign: seed %llu\n", static_cast<unsigned long long>(current));
        std::fflush(stdout);
        ::alarm(kWatchdogSeconds);
        veldra::campaign::CreationResult result;
        try {
            result = veldra::campaign::RunCreation(current, replay);
        } catch (const std::exception& e) {
            result.failure = std::string("the campaign itself failed: ") + e.what();
        }
        ::alarm(0);
        ++outcomes[result.outcome.empty() ? "unjudged" : result.outcome];
        if (verbose && !result.reason.empty())
            std::printf("campaign: %s: %s\n", result.outcome.c_str(), result.reason.c_str());
        if (!result.failure.empty()) {
            ++failures;
            std::printf("campaign: seed %llu failed: %s\nreplay: veldra-campaign --replay %llu\n",
                        static_cast<unsigned long long>(current), result.failure.c_str(),
                        static_cast<unsigned long long>(current));
        }
        if (!result.machine.empty()) std::printf("machine: %s\n", result.machine.c_str());
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("campaign: %llu creations from seed %llu, %llu failures, %.1f s (",
                static_cast<unsigned long long>(count), static_cast<unsigned long long>(seed),
                static_cast<unsigned long long>(failures), seconds);
    const char* separator = "";
    for (const auto& [outcome, n] : outcomes) {
        std::printf("%s%llu %s", separator, static_cast<unsigned long long>(n), outcome.c_str());
        separator = ", ";
    }
    std::printf(")\n");
    return failures == 0 ? 0 : 1;
}
