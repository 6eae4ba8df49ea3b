#include "app/option_table.h"

#include <limits>

#include "app/option_values.h"

namespace tarnwick {
namespace {

constexpr std::uint64_t kLargestPort = std::numeric_limits<std::uint16_t>::max();
constexpr std::uint64_t kLargestMaxRows = 1'000'000'000;
constexpr std::uint64_t kMostDevices = 10'000'000;
constexpr std::uint64_t kMostHeld = 100'000;
constexpr std::string_view kDurationWanted =
    "a whole number and a unit (s, min, h or d) from 1s to 3650d";

constexpr OptionRow kOptions[] = {
    {.name = "--headless",
     .place = OptionPlace::HeadlessMark,
     .flag = &Options::headless,
     .help = "run without a window, until SIGINT, SIGTERM or SIGHUP",
     .manual = "Run without a window until SIGINT, SIGTERM or SIGHUP; no display is needed "
               "(see `HEADLESS MODE`)."},
    {.name = "--port",
     .value = "PORT",
     .place = OptionPlace::HeadlessNeeds,
     .take = TakeNumber<std::uint16_t, 0, kLargestPort, &Options::port>,
     .wanted = "a number from 0 to 65535",
     .help = "the UDP port to listen on, a decimal number from 0 to 65535; 0 lets the system "
             "choose (the window: fills in \"Port:\"); without it nothing listens",
     .manual = "The UDP port to listen on, on every local IPv4 and IPv6 address (or on `--bind` "
               "alone): a decimal number from `0` to `65535`, nothing else (no sign, blank, "
               "prefix or other character); `0` lets the system choose, and the centre names "
               "the port it got. In the window it fills in `Port:`. Without it nothing listens: "
               "the headless centre says `tarnwick: no port to listen on: give --port PORT` and "
               "exits with 1, and in the window `Port:` stays empty until a port is typed."},
    {.name = "--bind",
     .value = "ADDR",
     .take = TakeAddress,
     .wanted = "an IPv4 or IPv6 address",
     .help = "listen on this one local address alone, IPv4 (10.0.0.5) or IPv6 (::1); without "
             "it, on every local address of both families",
     .manual = "Listen on this one local address alone, IPv4 (`10.0.0.5`, `127.0.0.1`) or IPv6 "
               "(`::1`); devices sending to any other address of the machine get nothing. "
               "Without it, or with `::`, one socket takes both families on every local address; "
               "where the machine has no IPv6, the centre listens on IPv4 and says so in one "
               "line (`no IPv6 on this host: listening on IPv4 only`). An address that is not "
               "this machine's cannot be listened on: headless, `tarnwick: cannot listen on "
               "ADDR: `... and exit status 1; the window shows `socket bind error! (port PORT: `"
               "... `)`. A text that is no address is exit status 2."},
    {.name = "--ipv6-only",
     .flag = &Options::ipv6Only,
     .help = "hear IPv6 devices alone: with --bind :: or none, every IPv6 address and no IPv4 "
             "one",
     .manual = "Hear IPv6 devices alone (IPV6_V6ONLY): without `--bind`, or with `--bind ::`, "
               "the centre listens on every local IPv6 address and IPv4 devices get nothing; it "
               "says so in one line (`listening on IPv6 only`). An IPv6 address given to "
               "`--bind` is listened on alone either way. With an IPv4 address given to "
               "`--bind` it is an error, exit status 2 (`tarnwick: --ipv6-only cannot listen "
               "on the IPv4 address ADDR given to --bind`)."},
    {.name = "--reuse-port",
     .flag = &Options::reusePort,
     .help = "one of several centres: share the UDP port with the others (each with its own "
             "--log-dir), and with --mqtt hold broker commands for devices not heard yet, "
             "dropping a copy once another centre has sent it",
     .manual = "One of several centres: share the UDP port with other centres started with it "
               "on this host (SO_REUSEPORT); the kernel spreads the devices over them by source "
               "address and port. The kernel lets only sockets of one user share a port: run the "
               "centres as one user. Each needs its own `--log-dir`: a centre refuses a log "
               "folder another running centre holds (`tarnwick: log folder DIR is in use by "
               "another centre`, exit status 1). With `--mqtt`, a command on "
               "*PREFIX/hold/KEY* is held even for a device not heard yet, and a copy is "
               "dropped once another centre reports it `sent` (\"sent by another centre\"); the "
               "default client id adds a digest of the log folder, and the status goes to "
               "*PREFIX/status/CLIENTID*."},
    {.name = "--listen",
     .place = OptionPlace::Window,
     .flag = &Options::listen,
     .help = "press \"Listen\" at start",
     .manual = "Press `Listen` as soon as the window opens (headless always listens)."},
    {.name = "--auto-reply",
     .flag = &Options::autoReply,
     .help = "answer every valid record with \"@517\" once it is logged",
     .manual = "Answer each valid device record with the four bytes `@517` (in the window, "
               "`Automatic reply with @517` ticked), once its log entry has been written in full "
               "and no sooner than 1 ms after it arrived. A record whose entry could not be "
               "written is not answered, so the device keeps it and sends it again."},
    {.name = "--hex",
     .flag = &Options::hex,
     .help = "also log, in hex, the datagram that follows a record",
     .manual = "Also show and log, as hex text, the one datagram (up to 50 bytes) that follows "
               "a device record (in the window, `Hex` ticked)."},
    {.name = "--log-dir",
     .value = "DIR",
     .take = TakePath<&Options::logDir>,
     .wanted = "a folder",
     .help = "folder of the daily log files (default: DataLog beside the program, or "
             "~/.local/share/tarnwick/DataLog where that cannot be written)",
     .manual = "The folder of the daily log files, not empty; it is created, with its parents, "
               "when missing. See `LOG FILES` for the default."},
    {.name = "--sync",
     .flag = &Options::sync,
     .help = "flush each batch of log entries to the disk before answering it",
     .manual = "Flush each batch of log entries to the disk (`fdatasync`(2)) before answering "
               "its records, so that an answered reading survives a power cut as well as a "
               "crash of the centre. The service unit uses it."},
    {.name = "--max-rows",
     .value = "N",
     .place = OptionPlace::Window,
     .take = TakeNumber<std::size_t, 1, kLargestMaxRows, &Options::maxRows>,
     .wanted = "a number of records from 1 to 1000000000",
     .help = "keep the newest N records in view; older ones leave it, the log keeps them all",
     .manual = "Keep at most *N* records (1 to 1000000000) in the live display; the oldest "
               "leave it, and the log keeps them all.",
     .shownDefault = NumberDefault<&Options::maxRows>},
    {.name = "--device-key",
     .value = "KEY",
     .take = TakeDeviceKey,
     .wanted = "address, ip or field:NAME",
     .help = "what makes a device: address (its address and port), ip (its address alone), or "
             "field:NAME (the value of the record's field NAME, as field:ID)",
     .manual = "What makes two records come from one device (see `DEVICES`): `address` (the "
               "sender's address and port, an IPv6 address in brackets as "
               "`[2001:db8::7]:5000`), `ip` (the address alone; the newest port is kept), or "
               "`field:`*NAME* (the value of the record's field *NAME*, as `field:ID` for "
               "`#ST,123;ID:4;#`, or the address and port when a record has no such field).",
     .shownDefault = DeviceKeyDefault},
    {.name = "--max-devices",
     .value = "N",
     .take = TakeNumber<std::size_t, 1, kMostDevices, &Options::maxDevices>,
     .wanted = "a number from 1 to 10000000",
     .help = "devices kept; beyond them the one heard least recently is forgotten (its held "
             "commands wait for its key all the same)",
     .manual = "How many devices the table keeps, from `1` to `10000000`; beyond them the "
               "device heard least recently is forgotten, and that is reported. Commands held "
               "for a forgotten device wait under its key and leave when it reports again.",
     .shownDefault = NumberDefault<&Options::maxDevices>},
    {.name = "--hold-for",
     .value = "DURATION",
     .take = TakeDuration<&Options::holdFor>,
     .wanted = kDurationWanted,
     .help = "how long a held command waits for its device's next record",
     .manual = "How long a held command waits for its device's next record before it expires, "
               "in the window as headless.",
     .shownDefault = DurationDefault<&Options::holdFor>},
    {.name = "--silent-after",
     .value = "DURATION",
     .take = TakeDuration<&Options::silentAfter>,
     .wanted = kDurationWanted,
     .help = "a device is silent after this long unheard",
     .manual = "How long a device may go unheard before it counts as silent.",
     .shownDefault = DurationDefault<&Options::silentAfter>},
    {.name = "--max-held",
     .value = "N",
     .take = TakeNumber<std::size_t, 1, kMostHeld, &Options::maxHeld>,
     .wanted = "a number from 1 to 100000",
     .help = "commands held for one device at most; one more is refused",
     .manual = "How many commands may wait for one device's next record, from `1` to `100000`; "
               "one more is refused and reported (`device 4 has 100 commands held; not held: "
               "RESET`). At most 16 leave after one record; the rest wait for the next.",
     .shownDefault = NumberDefault<&Options::maxHeld>},
    {.name = "--resend-window",
     .value = "DURATION",
     .take = TakeResendWindow,
     .wanted = "0, or a whole number and a unit (s, min, h or d) from 1s to 3650d",
     .help = "a record equal to one of its device's within this long is a resend (0: none)",
     .manual = "A record whose text equals one of the same device's records logged within this "
               "long is a resend: a device that missed its `@517` sends its reading again. It "
               "is logged and answered as every record is, and counted: `resent` among the "
               "counters, a device's resends in the Devices window and the devices file, "
               "`\"resent\": true` in its MQTT payload (see `--mqtt-skip-resends`). The times "
               "compared are those the log's headers give, so forwarding marks the same records "
               "again from the log. A device's 256 latest texts are compared at most, and "
               "262,144 over every device. `0` turns resends off.",
     .shownDefault = DurationDefault<&Options::resendWindow>},
    {.name = "--devices-file",
     .value = "PATH",
     .place = OptionPlace::Headless,
     .take = TakePath<&Options::devicesFile>,
     .wanted = "a file name",
     .help = "the device table as CSV, rewritten whole every 10 seconds and at the stop",
     .manual = "Keep the device table in *PATH* as CSV, rewritten every 10 seconds and at the "
               "stop (see `DEVICES`)."},
    {.name = "--metrics",
     .value = "[ADDR:]PORT",
     .take = TakeEndpoint<&Options::metrics>,
     .wanted = "[ADDR:]PORT: a port from 0 to 65535, after an IPv4 address or an IPv6 one in "
               "brackets",
     .help = "serve Prometheus metrics at http://ADDR:PORT/metrics (ADDR: 127.0.0.1 unless "
             "given; PORT 0: the system chooses)",
     .manual = "Serve the counters, the device table's figures and the time from each record's "
               "arrival to its written log entry in the Prometheus text format at "
               "`http://`*ADDR*`:`*PORT*`/metrics`; any other path is answered 404. *ADDR* is "
               "127.0.0.1 unless given, an IPv4 address (`0.0.0.0:9100`) or an IPv6 one in "
               "brackets (`[::1]:9100`); *PORT* 0 lets the system choose, and the headless start "
               "names the address. At most 32 connections are held at once, 8 from one address, "
               "each closed after 5 seconds idle or when it takes over 10 seconds to send a "
               "request; a new connection beyond a bound closes the oldest of the address that "
               "holds the most, so that no HTTP client, idle or trickling, holds up the centre "
               "or keeps a scrape out."},
    {.name = "--web",
     .value = "[ADDR:]PORT",
     .take = TakeEndpoint<&Options::web>,
     .wanted = "[ADDR:]PORT: a port from 0 to 65535, after an IPv4 address or an IPv6 one in "
               "brackets",
     .help = "serve the operator page and its API at http://ADDR:PORT/ (ADDR: 127.0.0.1 unless "
             "given; PORT 0: the system chooses); beyond loopback only with --web-cert and "
             "--web-key, or --web-insecure",
     .manual = "Serve the operator page (devices, live records, commands, the counters) and its "
               "JSON API at `http://`*ADDR*`:`*PORT*`/`, in both front ends (see `OPERATOR "
               "PAGE`). *ADDR* is 127.0.0.1 unless given, an IPv4 address (`0.0.0.0:8080`) or "
               "an IPv6 one in brackets (`[::1]:8080`); *PORT* 0 lets the system choose, and the "
               "start names the address. Every request but the page's files needs the access "
               "token. An address other than loopback is refused without `--web-cert` and "
               "`--web-key` (exit status 2), unless `--web-insecure` is given."},
    {.name = "--web-token-file",
     .value = "PATH",
     .take = TakePath<&Options::webTokenFile>,
     .wanted = "a file name",
     .help = "the file whose first line is the operator page's access token; without it, "
             "web-token beside the log folder, made at the first start",
     .manual = "The file whose first line is the operator page's access token. Without it the "
               "centre makes a random token at its first start in `web-token` in the log "
               "folder's parent (or in `$STATE_DIRECTORY`, under a service manager), readable "
               "by its owner alone, and names the file on standard error. Writing a new token "
               "into the file revokes the old one at once, with no restart."},
    {.name = "--web-cert",
     .value = "FILE",
     .take = TakePath<&Options::webCert>,
     .wanted = "a file name",
     .help = "serve the operator page over TLS with this PEM certificate (with --web-key)",
     .manual = "Serve the operator page over HTTPS with this PEM certificate (its chain "
               "after it); needs `--web-key`."},
    {.name = "--web-key",
     .value = "FILE",
     .take = TakePath<&Options::webKey>,
     .wanted = "a file name",
     .help = "the PEM private key of --web-cert",
     .manual = "The PEM private key of `--web-cert`; needs `--web-cert`."},
    {.name = "--web-insecure",
     .flag = &Options::webInsecure,
     .help = "serve the operator page over plain HTTP beyond loopback, for a trusted network",
     .manual = "Serve the operator page over plain HTTP on an address other than loopback: "
               "the token and every command then cross the network readable. For a trusted "
               "network alone."},
    {.name = "--mqtt",
     .value = "URL",
     .take = TakeBrokerUrl,
     .wanted = "mqtt://HOST[:PORT] or mqtts://HOST[:PORT]",
     .help = "forward every logged record to this MQTT broker (port 1883, or 8883 for mqtts:// "
             "with TLS), from the log, so an outage loses nothing",
     .manual = "Publish every logged record, in log order, with QoS 1, to the MQTT broker at "
               "`mqtt://`*HOST*[`:`*PORT*] (port 1883) or, with TLS, `mqtts://`*HOST*[`:`*PORT*] "
               "(port 8883), and take commands from it (see `MQTT BROKER`)."},
    {.name = "--mqtt-topic",
     .value = "PREFIX",
     .take = TakeTopic,
     .wanted = "a topic without + or # or an outer /",
     .help = "the topics' prefix: PREFIX/record/KEY, PREFIX/status, ...",
     .manual = "The topics' prefix, one topic level or more without `+`, `#` or a `/` at either "
               "end: *PREFIX*`/record/`*KEY*, *PREFIX*`/status` and the others under `MQTT "
               "BROKER`.",
     .shownDefault = TopicDefault},
    {.name = "--mqtt-client-id",
     .value = "ID",
     .take = TakePath<&Options::mqttClientId>,
     .wanted = "a client id",
     .help = "the MQTT client id (default: the host name and the UDP port)",
     .manual = "The MQTT client id. Unless given it is `tarnwick-`*HOST*`-`*PORT*, the same "
               "across restarts; with `--reuse-port` eight digits of a digest of the log "
               "folder's path follow, so that each centre on one host has its own."},
    {.name = "--mqtt-user",
     .value = "NAME",
     .take = TakePath<&Options::mqttUser>,
     .wanted = "a user name",
     .help = "the user name the broker knows (with --mqtt-password-file)",
     .manual = "The user name the broker knows; needs `--mqtt-password-file`."},
    {.name = "--mqtt-password-file",
     .value = "PATH",
     .take = TakePath<&Options::mqttPasswordFile>,
     .wanted = "a file name",
     .help = "a file whose first line is the password for --mqtt-user",
     .manual = "A file whose first line is the password for `--mqtt-user`, so that the "
               "password is never on the command line."},
    {.name = "--mqtt-ca",
     .value = "FILE",
     .take = TakePath<&Options::mqttCa>,
     .wanted = "a file name",
     .help = "the CA certificate that signed the mqtts:// broker's (default: the system's)",
     .manual = "The CA certificate that signed the `mqtts://` broker's; the system's CAs "
               "unless given."},
    {.name = "--mqtt-replay-from",
     .value = "TIME",
     .take = TakeReplayFrom,
     .wanted = "YYYY-MM-DD or YYYY-MM-DDTHH:MM",
     .help = "publish again everything logged from TIME (local), then go on live",
     .manual = "Publish again everything logged from *TIME* (`YYYY-MM-DD` or "
               "`YYYY-MM-DDTHH:MM`, local time) on, then go on live: for a consumer that lost "
               "what it had."},
    {.name = "--mqtt-skip-resends",
     .flag = &Options::mqttSkipResends,
     .help = "leave resends (see --resend-window) out of forwarding",
     .manual = "Leave resends (see `--resend-window`) out of forwarding; they are still logged, "
               "answered and counted."},
    {.name = "--compress-after",
     .value = "DAYS",
     .take = TakeDays<&Options::compressAfter>,
     .wanted = "a number of days from 1 to 36500, or never",
     .help = "gzip day files older than DAYS into YEAR/Data_logs_MMDD.txt.gz, once forwarded",
     .manual = "Compress each day file more than *DAYS* days old (1 to 36500) with gzip into "
               "*YEAR*`/Data_logs_`*MMDD*`.txt.gz` in the log folder, which `zcat`(1) and "
               "`zgrep`(1) read; the archive is whole on the disk before the file is removed. "
               "A file is compressed only once the broker has acknowledged every entry of it "
               "(see `LOG FILES`).",
     .shownDefault = NeverDefault},
    {.name = "--delete-after",
     .value = "DAYS",
     .take = TakeDays<&Options::deleteAfter>,
     .wanted = "a number of days from 1 to 36500, or never",
     .help = "delete day files and archives older than DAYS, once forwarded; while space is "
             "below --min-free, the oldest forwarded ones first",
     .manual = "Delete each day file and archive more than *DAYS* days old (1 to 36500), "
               "once the broker has acknowledged every entry of it; and while the free space is "
               "below `--min-free`, the oldest forwarded files first, down to the limit.",
     .shownDefault = NeverDefault},
    {.name = "--delete-unforwarded",
     .flag = &Options::deleteUnforwarded,
     .help = "with --delete-after: delete old files even before the broker has had them",
     .manual = "With `--delete-after`: delete files older than its *DAYS* even when the broker "
               "has not acknowledged every entry of them."},
    {.name = "--min-free",
     .value = "SIZE",
     .take = TakeMinFree,
     .wanted = "a size: a number of bytes, or one with K, M, G or T after it (1GiB, 500M)",
     .help = "the free space of the log folder's disk below which the centre warns; unless "
             "given, 1GiB or 5% of the file system, whichever is less",
     .manual = "The free space on the log folder's file system below which the centre says so, "
               "once, on standard error and in the window's notice line, and again once there "
               "is room again: bytes, or a number with `K`, `M`, `G` or `T` (powers of 1024, "
               "with or without `iB`) after it. Unless given it is 1GiB, or 5% of the file "
               "system when that is less."},
    {.name = "--find",
     .place = OptionPlace::FindMark,
     .flag = &Options::find,
     .help = "print the logged entries that match, from the day files and archives, and exit",
     .manual = "Print the entries of the log folder (`--log-dir`) that match the options below, "
               "one a line in time order, from the day files and the archives, compressed or "
               "not, and exit (see `FINDING RECORDS`)."},
    {.name = "--from",
     .value = "TIME",
     .place = OptionPlace::Find,
     .take = TakeFindFrom,
     .wanted = "YYYY-MM-DD or YYYY-MM-DDTHH:MM",
     .help = "entries logged from TIME on (local)",
     .manual = "Entries logged from *TIME* on (`YYYY-MM-DD` or `YYYY-MM-DDTHH:MM`, local "
               "time)."},
    {.name = "--to",
     .value = "TIME",
     .place = OptionPlace::Find,
     .take = TakeFindTo,
     .wanted = "YYYY-MM-DD or YYYY-MM-DDTHH:MM",
     .help = "entries logged before TIME (a day alone: up to its end)",
     .manual = "Entries logged before *TIME* (`YYYY-MM-DDTHH:MM`); a day alone (`YYYY-MM-DD`) "
               "reaches to its end."},
    {.name = "--device",
     .value = "KEY",
     .place = OptionPlace::Find,
     .take = TakePath<&Options::findDevice>,
     .wanted = "a device key",
     .help = "entries of the device KEY, by --device-key's rule",
     .manual = "Entries of the device *KEY*, made by `--device-key`'s rule as the centre makes "
               "it; a hex entry goes with the record before it."},
    {.name = "--grep",
     .value = "TEXT",
     .place = OptionPlace::Find,
     .take = TakePath<&Options::findGrep>,
     .wanted = "a text",
     .help = "entries whose record holds TEXT",
     .manual = "Entries whose record holds *TEXT*, byte for byte; a hex entry goes with the "
               "record before it."},
    {.name = "--format",
     .value = "FORMAT",
     .place = OptionPlace::Find,
     .take = TakeFindFormat,
     .wanted = "text, csv or jsonl",
     .help = "text (the log's lines), csv or jsonl (time, address, port, key, record)",
     .manual = "`text`: each entry's time and sender and record on one line, as the log has "
               "them; `csv` or `jsonl` (JSON Lines): the fields time, address, port, key and "
               "record, a hex entry's record as `hex:` and its hex text.",
     .shownDefault = FindFormatDefault},
    {.name = "--help",
     .place = OptionPlace::Instead,
     .flag = &Options::help,
     .help = "print this text",
     .manual = "Print the usage (every option, with its default where it has one), and exit."},
    {.name = "--version",
     .place = OptionPlace::Instead,
     .flag = &Options::version,
     .help = "print the version",
     .manual = "Print `tarnwick` and the version, and exit."},
};

}  // namespace

std::span<const OptionRow> OptionTable() {
    return kOptions;
}

std::string_view FrontEndOnly(OptionPlace place) {
    switch (place) {
        case OptionPlace::Window:
            return "the window";
        case OptionPlace::Headless:
            return "headless";
        case OptionPlace::Find:
            return "with --find";
        default:
            return "";
    }
}

}  // namespace tarnwick
