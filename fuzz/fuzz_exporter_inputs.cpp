// What tarvik-exporter reads from files and requests: the web configuration
// file, the communities file, targets and allow rules, Basic credentials and
// label values. None may crash or read past its input; a target that parses
// is one its own rules can be checked against, and a label value comes out
// as valid, escaped text.
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
    TargetName target;
    if (parse_target(text, &target)) {
        require(target.port != 0 && !target.host.empty(), "a target without host or port");
        TargetPolicy policy;
        policy.allow_target(target);
        require(policy.allows(target), "a listed target is refused");
    }
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
