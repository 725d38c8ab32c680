// What tarvik-exporter reads from files and requests: the web configuration
// file, the communities file, targets and allow rules, Basic credentials and
// label values. None may crash or read past its input; a target that parses
// is one its own rules can be checked against, holds no NUL or control
// (also after the %-escapes a URL may hold are decoded, as the HTTP server
// decodes them), and reads back from its endpoint text as the same target;
// a label value comes out as valid, escaped text.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "exporter/access.h"
#include "exporter/exposition.h"
#include "exporter/web_config.h"

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_exporter_inputs: %s\n", what);
        std::abort();
    }
}

// %XX escapes decoded, as a query parameter's value reaches the exporter.
std::string url_decoded(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() &&
            std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

void check_target(const std::string& text) {
    TargetName target;
    if (!parse_target(text, &target)) {
        return;
    }
    require(target.port != 0 && !target.host.empty(), "a target without host or port");
    for (const char c : text) {
        require(c > ' ' && c < 0x7F && c != '%', "a target with a NUL, control or escape");
    }
    TargetPolicy policy;
    policy.allow_target(target);
    require(policy.allows(target), "a listed target is refused");
    TargetName again;
    require(parse_target(target.endpoint(), &again) && again.host == target.host &&
                again.port == target.port && again.numeric == target.numeric &&
                again.endpoint() == target.endpoint(),
            "a target's endpoint is another target");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    WebConfig config;
    std::string error;
    if (!parse_web_config(text, "/etc", &config, &error)) {
        require(!error.empty(), "a refused web configuration without a reason");
    }
    Communities communities("quolen");
    if (!communities.parse(text, &error)) {
        require(!error.empty(), "a refused communities file without a reason");
    }
    check_target(text);
    check_target(url_decoded(text));
    AllowRule rule;
    if (parse_allow_rule(text, &rule) && rule.network) {
        require(rule.prefix <= rule.address_length * 8, "a prefix past the address");
    }
    std::string user;
    std::string password;
    basic_credentials(text, &user, &password);
    const std::string shown = label_value(text);
    for (size_t i = 0; i < shown.size(); ++i) {
        require(shown[i] != '\n', "a line break in a label value");
        if (shown[i] == '"') {
            require(i > 0 && shown[i - 1] == '\\', "an unescaped quote in a label value");
        }
    }
    return 0;
}
