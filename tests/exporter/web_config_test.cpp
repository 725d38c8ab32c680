// The shared web configuration file, and Basic credentials against bcrypt.
#include "exporter/web_config.h"

#include <crypt.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>

namespace {

const char kHash[] = "$2y$10$abcdefghijklmnopqrstuuJ0Ta9w9aF1t0bYHXOdgAKA2W8pZ2m.e";

TEST(ExporterWebConfig, TheSupportedFieldsAreReadAndAnyOtherRefusedByName) {
    const std::string users = std::string("basic_auth_users:\n  alice: '") + kHash + "'\n";
    const struct {
        const char* name;
        std::string text;
        bool ok;
        const char* error_holds;
    } cases[] = {
        {"empty", "", true, ""},
        {"tls", "tls_server_config:\n  cert_file: a.crt\n  key_file: /k/a.key\n", true, ""},
        {"users", users, true, ""},
        {"cert without key", "tls_server_config:\n  cert_file: a.crt\n", false, "both"},
        {"empty paths", "tls_server_config:\n  cert_file: \"\"\n  key_file: \"\"\n", false,
         "cert_file is not a path"},
        {"no paths", "tls_server_config:\n  cert_file:\n  key_file:\n", false,
         "cert_file is not a path"},
        {"client certificates", "tls_server_config:\n  client_ca_file: ca.crt\n", false,
         "client_ca_file is not supported"},
        {"http server", "http_server_config:\n  http2: false\n", false,
         "http_server_config is not supported"},
        {"unknown field", "tls_config: {}\n", false, "unknown field tls_config"},
        {"plain password", "basic_auth_users:\n  alice: secret\n", false, "not a bcrypt hash"},
        {"not a mapping", "- a\n", false, "not a mapping"},
        {"not yaml", "a: [b\n", false, "not YAML"},
    };
    for (const auto& c : cases) {
        WebConfig config;
        std::string error;
        EXPECT_EQ(parse_web_config(c.text, "/etc/tarvik", &config, &error), c.ok) << c.name;
        EXPECT_NE(error.find(c.error_holds), std::string::npos) << c.name << ": " << error;
        if (c.ok && config.tls()) {
            // Relative to the file's folder, as the other exporters read it.
            EXPECT_EQ(config.cert_file, "/etc/tarvik/a.crt");
            EXPECT_EQ(config.key_file, "/k/a.key");
        }
    }
}

TEST(ExporterWebConfig, BasicCredentialsPassOnlyWithTheUsersPassword) {
    char salt[CRYPT_GENSALT_OUTPUT_SIZE];
    ASSERT_NE(crypt_gensalt_rn("$2b$", 4, nullptr, 0, salt, sizeof salt), nullptr);
    crypt_data data{};
    const char* hash = crypt_rn("s3cret", salt, &data, sizeof data);
    ASSERT_NE(hash, nullptr);
    BasicAuth auth(std::map<std::string, std::string>{{"alice", hash}});
    const struct {
        const char* header;
        bool allowed;
    } cases[] = {
        {"Basic YWxpY2U6czNjcmV0", true},    // alice:s3cret
        {"Basic YWxpY2U6czNjcmV0", true},    // the second time from memory
        {"Basic YWxpY2U6d3Jvbmc=", false},   // alice:wrong
        {"Basic Ym9iOnMzY3JldA==", false},   // bob:s3cret
        {"Basic YWxpY2VzM2NyZXQ=", false},   // no colon
        {"Basic YWxpY2U6czNjcmV0=", false},  // bad padding
        {"Bearer YWxpY2U6czNjcmV0", false},
        {"", false},
        {"basic YWxpY2U6czNjcmV0", true},  // the scheme in any case
        {"BASIC  YWxpY2U6czNjcmV0", true},
        {"Basic", false},
        {"Basic ", false},
        {"BasicYWxpY2U6czNjcmV0", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(auth.allows(c.header), c.allowed) << c.header;
    }
}

TEST(ExporterWebConfig, AnUnknownUserCostsTheSameBcryptWorkAsAWrongPassword) {
    char salt[CRYPT_GENSALT_OUTPUT_SIZE];
    ASSERT_NE(crypt_gensalt_rn("$2b$", 8, nullptr, 0, salt, sizeof salt), nullptr);
    crypt_data data{};
    const char* hash = crypt_rn("s3cret", salt, &data, sizeof data);
    ASSERT_NE(hash, nullptr);
    BasicAuth auth(std::map<std::string, std::string>{{"alice", hash}});
    // The quickest of a few checks each, so that a busy machine's pauses
    // do not decide it.
    const auto quickest = [&auth](const char* header) {
        auto best = std::chrono::steady_clock::duration::max();
        for (int i = 0; i < 3; ++i) {
            const auto started = std::chrono::steady_clock::now();
            EXPECT_FALSE(auth.allows(header));
            best = std::min(best, std::chrono::steady_clock::now() - started);
        }
        return best;
    };
    const auto wrong_password = quickest("Basic YWxpY2U6d3Jvbmc=");  // alice:wrong
    const auto unknown_user = quickest("Basic Ym9iOnMzY3JldA==");    // bob:s3cret
    EXPECT_GT(unknown_user * 2, wrong_password);
    EXPECT_GT(wrong_password * 2, unknown_user);
}

}  // namespace
