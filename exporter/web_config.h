// The web configuration file that Prometheus exporters share
// (--web.config.file), with the same meaning for what it supports:
//
//     tls_server_config:
//       cert_file: server.crt      # relative to the file's own folder
//       key_file: server.key
//     basic_auth_users:
//       alice: $2y$10$...          # bcrypt, checked with the system's crypt()
//
// Anything else it may hold (client certificates, TLS versions, HTTP
// headers) is refused at start, by name, rather than silently ignored.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>

struct WebConfig {
    std::string cert_file;
    std::string key_file;
    std::map<std::string, std::string> users;  // user -> bcrypt hash

    bool tls() const { return !cert_file.empty(); }
};

// Parses the file's text; `folder` is where relative paths start. Returns
// false with `*error` saying what is wrong.
bool parse_web_config(const std::string& text, const std::string& folder, WebConfig* config,
                      std::string* error);
bool read_web_config(const std::string& path, WebConfig* config, std::string* error);

// The user and password of an "Authorization: Basic ..." header value.
bool basic_credentials(const std::string& header, std::string* user, std::string* password);

// Checks Basic credentials against the configured users. A bcrypt check
// costs tens of milliseconds by design, and Prometheus sends the same
// credentials with every scrape, so checks that passed are remembered (a
// bounded number).
class BasicAuth {
public:
    explicit BasicAuth(std::map<std::string, std::string> users);
    bool enabled() const { return !users_.empty(); }
    bool allows(const std::string& authorization_header);
    // True only for credentials that passed a check before (no bcrypt
    // work): false says nothing, allows() decides then.
    bool allows_from_memory(const std::string& authorization_header);

private:
    std::map<std::string, std::string> users_;
    std::string unknown_user_hash_;
    std::mutex mutex_;
    std::set<std::string> passed_;
};

// Whether two texts are equal, in a time that depends on `b`'s length only.
bool same_text(const std::string& a, const std::string& b);
// Whether `password` hashes to `hash` (a bcrypt hash) with crypt().
bool password_matches(const std::string& password, const std::string& hash);
