#include "PhoneOptions.h"

namespace flarecast::tools {

namespace {

using Profile = bluetooth::VirtualPhoneProfile;

CLI::Range milliseconds() {
    return CLI::Range(0, Profile::kMaxMilliseconds);
}

}  // namespace

void PhoneOptions::addTo(CLI::App& app) {
    const CLI::Range refusal(Profile::kMinRefusal, Profile::kMaxRefusal);
    app.add_option("--host", host, "IPv4 address to listen on")->capture_default_str();
    app.add_option("--port", port, "TCP port to listen on; 0 takes a free one")
        ->capture_default_str();
    app.add_option("--preset", preset, "plain, or strict as today's phones")
        ->check(CLI::IsMember({"plain", "strict"}))
        ->capture_default_str();
    app.add_option("--save-to", profile.saveTo, "folder for received objects");
    app.add_option("--refuse-connect", profile.refuseConnect, "refuse CONNECT with this code")
        ->check(refusal);
    app.add_option("--refuse-put", profile.refusePut, "refuse every object with this code")
        ->check(refusal);
    app.add_option("--answer-delay-ms", answerDelayMs, "wait before answering each request")
        ->check(milliseconds());
    app.add_option("--drop-after-bytes", profile.dropAfterBytes,
                   "drop the connection after this many body bytes of an object")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--password", profile.password, "require OBEX authentication with it");
    app.add_option("--max-packet", profile.maxPacket, "the largest packet the phone takes")
        ->check(CLI::Range(Profile::kMinPacket, Profile::kMaxPacket))
        ->capture_default_str();
    app.add_option("--max-sessions", profile.maxSessions, "clients served at once")
        ->check(CLI::Range(1, Profile::kMaxSessions))
        ->capture_default_str();
    app.add_option("--link-bytes-per-second", profile.linkBytesPerSecond, "the link's rate")
        ->check(CLI::PositiveNumber);
    app.add_option("--link-latency-ms", linkLatencyMs, "the link's delay for each packet")
        ->check(milliseconds());
    app.add_option("--prompt", prompt, "the owner's answer to the prompt")
        ->check(CLI::IsMember({"accept", "decline", "ignore"}))
        ->capture_default_str();
    app.add_option("--prompt-delay-ms", promptDelayMs, "how long the owner takes to answer")
        ->check(milliseconds());
    app.add_option("--prompt-timeout-ms", promptTimeoutMs,
                   "how long an ignored prompt stays before it refuses")
        ->check(milliseconds())
        ->capture_default_str();
}

void PhoneOptions::finish() {
    profile.preset = preset == "strict" ? Profile::Preset::Strict : Profile::Preset::Plain;
    profile.prompt = prompt == "decline"  ? Profile::Prompt::Decline
                     : prompt == "ignore" ? Profile::Prompt::Ignore
                                          : Profile::Prompt::Accept;
    profile.answerDelay = std::chrono::milliseconds(answerDelayMs);
    profile.linkLatency = std::chrono::milliseconds(linkLatencyMs);
    profile.promptDelay = std::chrono::milliseconds(promptDelayMs);
    profile.promptTimeout = std::chrono::milliseconds(promptTimeoutMs);
}

}  // namespace flarecast::tools
