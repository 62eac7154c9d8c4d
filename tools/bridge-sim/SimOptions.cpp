// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimOptions.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "DemoMesh.h"
#include "ParseNumber.h"

namespace corvane::sim {
namespace {

std::optional<MeshtasticBridgeCommand> parseCommand(std::string_view text) {
    return meshtasticBridgeCommandFromRaw(text);
}

}  // namespace

std::vector<std::string> splitArgumentList(std::string_view text) {
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    char quote = 0;
    for (const char c : text) {
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            } else {
                current.push_back(c);
            }
        } else if (c == '\'' || c == '"') {
            quote = c;
            inArgument = true;
        } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
            if (inArgument) arguments.push_back(std::move(current));
            current.clear();
            inArgument = false;
        } else {
            current.push_back(c);
            inArgument = true;
        }
    }
    if (inArgument) arguments.push_back(std::move(current));
    return arguments;
}

Result<SimOptions, std::string> parseSimOptions(const std::vector<std::string>& arguments) {
    SimOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> inlineValue;
        if (const auto equals = name.find('='); name.starts_with("--") && equals != std::string::npos) {
            inlineValue = name.substr(equals + 1);
            name.resize(equals);
        }
        // Fetches the option's argument, from "--name=value" or the next word.
        std::string value;
        const auto takeValue = [&]() -> bool {
            if (inlineValue) {
                value = *inlineValue;
                return true;
            }
            if (i + 1 >= arguments.size()) return false;
            value = arguments[++i];
            return true;
        };
        const auto missing = [&name] { return fail("option " + name + " needs a value"); };
        const auto invalid = [&name, &value] { return fail("invalid value for " + name + ": " + value); };
        const auto flag = [&](bool& target) -> bool {
            if (inlineValue) return false;
            target = true;
            return true;
        };

        if (name == "serve" && !options.serve) {
            options.serve = true;
        } else if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--jsonl") {
            if (!flag(options.jsonl)) return invalid();
        } else if (name == "--demo") {
            if (!flag(options.demo)) return invalid();
        } else if (name == "--garbage") {
            if (!flag(options.garbage)) return invalid();
        } else if (name == "--exit-before-answer") {
            if (!flag(options.exitBeforeAnswer)) return invalid();
        } else if (name == "--check-port") {
            if (!flag(options.checkPort)) return invalid();
        } else if (name == "--no-restart") {
            bool noRestart = false;
            if (!flag(noRestart)) return invalid();
            options.restartAfterApply = false;
        } else if (name == "--no-answer") {
            if (!takeValue()) return missing();
            const auto command = parseCommand(value);
            if (!command) return invalid();
            options.noAnswer.insert(*command);
        } else if (name == "--error") {
            if (!takeValue()) return missing();
            const auto colon = value.find(':');
            const auto command = parseCommand(std::string_view(value).substr(0, colon));
            if (!command) return invalid();
            options.errors[*command] =
                colon == std::string::npos ? std::nullopt : std::optional<std::string>(value.substr(colon + 1));
        } else if (name == "--protocol-version") {
            if (!takeValue()) return missing();
            const auto number = parseNumber<std::int64_t>(value);
            if (!number) return invalid();
            options.protocolVersion = *number;
        } else if (name == "--reverse" || name == "--oversized" || name == "--stderr-flood") {
            if (!takeValue()) return missing();
            const auto number = parseNumber<std::size_t>(value);
            if (!number) return invalid();
            (name == "--reverse" ? options.reverse : name == "--oversized" ? options.oversized : options.stderrFlood) =
                *number;
        } else if (name == "--exit-after") {
            if (!takeValue()) return missing();
            const auto number = parseNumber<std::uint64_t>(value);
            if (!number || *number == 0) return invalid();
            options.exitAfter = *number;
        } else if (name == "--reply-delay") {
            if (!takeValue()) return missing();
            const auto number = parseNumber<std::uint32_t>(value);
            if (!number) return invalid();
            options.replyDelay = std::chrono::milliseconds(*number);
        } else if (name == "--speed") {
            if (!takeValue()) return missing();
            const auto number = parseNumber<double>(value);
            if (!number || !std::isfinite(*number) || *number <= 0) return invalid();
            options.speed = *number;
        } else if (name == "--local-node") {
            if (!takeValue()) return missing();
            const auto number = parseNumber<std::uint32_t>(value);
            if (!number) return invalid();
            options.localNode = *number;
        } else if (name == "--script") {
            if (!takeValue()) return missing();
            options.scriptPath = value;
        } else if (name == "--log") {
            if (!takeValue()) return missing();
            options.logPath = value;
        } else if (name == "--stamp") {
            if (!takeValue()) return missing();
            options.stampPath = value;
        } else {
            return fail("unknown argument: " + name);
        }
    }
    if (!options.help && (!options.serve || !options.jsonl)) {
        return fail(std::string("usage: corvane-bridge-sim serve --jsonl [options] (see --help)"));
    }
    return options;
}

std::string simHelpText() {
    std::string text = R"(corvane-bridge-sim - a stand-in for the Halvo Meshtastic Bridge

Usage: corvane-bridge-sim serve --jsonl [options]

Speaks the bridge's JSON-lines protocol on standard input and output and never
touches a serial device. Options are read from the environment variable
CORVANE_BRIDGE_SIM_ARGS (white-space separated; quotes group words) and then
from the command line; for single-valued options the last one wins, repeatable
options accumulate. "--name value" and "--name=value" are both accepted.

Replies (each echoes the request's "requestID"):
  connect             {"event":"connected","port":<requested port>}
  disconnect          {"event":"disconnected","status":"Disconnected"}
  sendText            {"event":"sent","packetID":N}, N counting up from 1001
  readRadioSettings   {"event":"radioSettings","settings":{...current...}}
  applyRadioSettings  stores the settings, replies
                      {"event":"status","status":"Settings applied"}, then
                      simulates the radio's restart with two unsolicited lines:
                      {"event":"status","status":"Radio restarting"} at once and,
                      1.5 s later (scaled by --speed), {"event":"status",
                      "status":"Connected"} followed by {"event":"localNode"}
                      when the local node is known. No "disconnected" line is
                      sent, because the application treats it as the link
                      going away for good.
  a request without a required payload (connect without "port", sendText
  without "text", applyRadioSettings without "settings") or with another
  protocol version
                      an "error" reply naming the problem
  an undecodable line {"event":"error","error":"Unreadable request line"}
                      without "requestID" (so it shows up as news)
Standard input at its end: exit status 0 at once (replies still held back by
--reverse or --reply-delay are dropped). Standard output gone: exit status 1.

Scripted mode (the default; every option combines with every other):
  --no-answer COMMAND     never answer COMMAND (repeatable)
  --error COMMAND[:TEXT]  answer COMMAND with an "error" event carrying TEXT,
                          or without an "error" field when ":TEXT" is left out
                          (repeatable)
  --protocol-version N    write N as "protocolVersion" in every line we build
                          (script lines are written verbatim)
  --reverse N             hold replies until N are held, then write them in
                          reverse order; repeats for every batch of N
  --reply-delay MS        wait MS milliseconds before each reply
  --garbage               before each reply write a line that is not JSON, an
                          empty line and an undecodable line ending in CRLF;
                          then write the reply, itself ending in CRLF, in two
                          write() calls 20 ms apart
  --oversized BYTES       before each reply write one line of BYTES bytes (not
                          counting its line feed): a status event padded to
                          that size, which a reader must drop whole
  --stderr-flood BYTES    write BYTES bytes to standard error at start and before
                          every reply, with blocking writes: a parent that does
                          not drain standard error deadlocks us
  --exit-after N          exit with status 3 right after writing the reply to the
                          N-th request (right after reading it when that request
                          gets no reply)
  --exit-before-answer    with --exit-after: exit on reading the N-th request
  --local-node NUMBER     after each connect reply send {"event":"localNode",
                          "localNodeID":NUMBER}
  --check-port            answer connect with an error when the port path does
                          not exist (by default any path is accepted)
  --no-restart            applyRadioSettings: no restart lines after the reply
  --script FILE           after each connect reply play FILE as unsolicited news.
                          One step per line: a line starting with "{" is written
                          verbatim as one output line; "raw TEXT" writes TEXT as
                          one line; "sleep MS" pauses (not scaled by --speed);
                          "exit CODE" exits with that status; "stderr BYTES"
                          writes BYTES bytes to standard error. Empty lines and
                          lines starting with "#" are skipped. A disconnect or a
                          new connect stops a running script.
  --log FILE              append every request line received to FILE (0600)
  --stamp FILE            append one line to FILE (0600) for every line a script
                          writes: the CLOCK_REALTIME time in microseconds since
                          1970 taken just before its write(), so a benchmark
                          can time the reader's reaction to it

Demo mode:
  --demo                  after connect, simulate a small mesh around
                          Rådhuspladsen in Copenhagen: the local radio, four
                          remote nodes with telemetry refreshed every 5 s,
                          channels 0 "LongFast" and 1 "Family", a text message
                          every 25 s (one delivered twice with the same packet
                          number), an answer to every direct message after 3 s,
                          and the node "Bike" (BK) parked for 20 s, then riding
                          away 40 m per report every 4 s for 20 reports before
                          it stops for good. Its first report is the exact
                          parking spot; the following parked reports jitter by
                          about a metre.
  --speed FACTOR          run simulated time FACTOR times faster (e.g. 10)

Demo node numbers:
)";
    text += "  local radio             " + std::to_string(kDemoLocalNodeNumber) + "\n";
    text += "  Bike                    " + std::to_string(kDemoBikeNodeNumber) + "   (use --guard " +
            std::to_string(kDemoBikeNodeNumber) + ")\n";
    text += R"(
Exit status: 0 at the end of standard input, 1 when standard output fails,
2 for a usage error or an unreadable script, 3 for --exit-after, or the code of
a script's "exit" step.
)";
    return text;
}

}  // namespace corvane::sim
