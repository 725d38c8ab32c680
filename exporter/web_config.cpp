// The web configuration file, read with libyaml; bcrypt with crypt_rn().
#include "exporter/web_config.h"

#include <crypt.h>
#include <yaml.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "exporter/access.h"

namespace {

constexpr size_t kLongestConfig = 1 << 20;
constexpr size_t kRememberedPasses = 1024;

// Deletes a loaded document when it goes.
struct LoadedDocument {
    yaml_document_t document;
    LoadedDocument() = default;
    LoadedDocument(const LoadedDocument&) = delete;
    LoadedDocument& operator=(const LoadedDocument&) = delete;
    ~LoadedDocument() { yaml_document_delete(&document); }
};

std::string scalar(const yaml_node_t* node) {
    return std::string(reinterpret_cast<const char*>(node->data.scalar.value),
                       node->data.scalar.length);
}

// The pairs of a mapping node as (key, value node); false when `node` is
// not a mapping or a key is not a scalar.
bool mapping_pairs(yaml_document_t* doc, yaml_node_t* node,
                   std::vector<std::pair<std::string, yaml_node_t*>>* pairs) {
    if (node->type != YAML_MAPPING_NODE) {
        return false;
    }
    for (yaml_node_pair_t* p = node->data.mapping.pairs.start; p < node->data.mapping.pairs.top;
         ++p) {
        yaml_node_t* key = yaml_document_get_node(doc, p->key);
        yaml_node_t* value = yaml_document_get_node(doc, p->value);
        if (key == nullptr || value == nullptr || key->type != YAML_SCALAR_NODE) {
            return false;
        }
        pairs->emplace_back(scalar(key), value);
    }
    return true;
}

bool is_null(const yaml_node_t* node) {
    if (node->type != YAML_SCALAR_NODE || node->data.scalar.style != YAML_PLAIN_SCALAR_STYLE) {
        return false;
    }
    const std::string text = scalar(node);
    return text.empty() || text == "~" || text == "null";
}

std::string in_folder(const std::string& folder, const std::string& path) {
    return path.empty() || path[0] == '/' || folder.empty() ? path : folder + "/" + path;
}

// Known to the shared format, not supported here.
bool unsupported_tls_key(const std::string& key) {
    static const char* const kKeys[] = {"client_auth_type",
                                        "client_ca_file",
                                        "cipher_suites",
                                        "curve_preferences",
                                        "min_version",
                                        "max_version",
                                        "prefer_server_cipher_suites",
                                        "client_allowed_sans"};
    for (const char* k : kKeys) {
        if (key == k) {
            return true;
        }
    }
    return false;
}

bool parse_tls(yaml_document_t* doc, yaml_node_t* node, const std::string& folder,
               WebConfig* config, std::string* error) {
    std::vector<std::pair<std::string, yaml_node_t*>> pairs;
    if (!mapping_pairs(doc, node, &pairs)) {
        *error = "tls_server_config is not a mapping";
        return false;
    }
    for (const auto& [key, value] : pairs) {
        if (unsupported_tls_key(key)) {
            *error = "tls_server_config: " + key + " is not supported by tarvik-exporter";
            return false;
        }
        if (key != "cert_file" && key != "key_file") {
            *error = "tls_server_config: unknown field " + key;
            return false;
        }
        if (value->type != YAML_SCALAR_NODE || scalar(value).empty()) {
            // An empty path would start plain HTTP where TLS was asked for.
            *error = "tls_server_config: " + key + " is not a path";
            return false;
        }
        (key == "cert_file" ? config->cert_file : config->key_file) =
            in_folder(folder, scalar(value));
    }
    if (config->cert_file.empty() != config->key_file.empty()) {
        *error = "tls_server_config needs both cert_file and key_file";
        return false;
    }
    return true;
}

bool parse_users(yaml_document_t* doc, yaml_node_t* node, WebConfig* config, std::string* error) {
    std::vector<std::pair<std::string, yaml_node_t*>> pairs;
    if (!mapping_pairs(doc, node, &pairs)) {
        *error = "basic_auth_users is not a mapping";
        return false;
    }
    for (const auto& [user, value] : pairs) {
        const std::string hash = value->type == YAML_SCALAR_NODE ? scalar(value) : "";
        // bcrypt: $2a$, $2b$ or $2y$, a two-digit cost, then 53 characters.
        if (hash.size() != 60 || hash.compare(0, 2, "$2") != 0 || hash[3] != '$' ||
            std::strchr("aby", hash[2]) == nullptr) {
            *error = "basic_auth_users: the password of " + user + " is not a bcrypt hash";
            return false;
        }
        if (user.empty() || user.find(':') != std::string::npos) {
            *error = "basic_auth_users: a user name is empty or holds ':'";
            return false;
        }
        config->users[user] = hash;
    }
    return true;
}

int base64_digit(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    return c == '+' ? 62 : c == '/' ? 63 : -1;
}

bool base64_decode(const std::string& text, std::string* out) {
    if (text.size() % 4 != 0) {
        return false;
    }
    std::string bytes;
    for (size_t i = 0; i < text.size(); i += 4) {
        int d[4];
        int pad = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = text[i + static_cast<size_t>(k)];
            // Padding only at the very end, and at most two.
            if (c == '=' && i + 4 == text.size() && k >= 2) {
                d[k] = 0;
                ++pad;
                continue;
            }
            d[k] = pad > 0 ? -1 : base64_digit(c);
            if (d[k] < 0) {
                return false;
            }
        }
        const uint32_t n = static_cast<uint32_t>(d[0] << 18 | d[1] << 12 | d[2] << 6 | d[3]);
        bytes += static_cast<char>(n >> 16);
        if (pad < 2) {
            bytes += static_cast<char>((n >> 8) & 0xFF);
        }
        if (pad < 1) {
            bytes += static_cast<char>(n & 0xFF);
        }
    }
    *out = bytes;
    return true;
}

}  // namespace

bool parse_web_config(const std::string& text, const std::string& folder, WebConfig* config,
                      std::string* error) {
    yaml_parser_t parser;
    if (yaml_parser_initialize(&parser) == 0) {
        *error = "out of memory";
        return false;
    }
    yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char*>(text.data()),
                                 text.size());
    yaml_document_t document;
    if (yaml_parser_load(&parser, &document) == 0) {
        *error = std::string("not YAML: ") + (parser.problem != nullptr ? parser.problem : "?") +
                 " at line " + std::to_string(parser.problem_mark.line + 1);
        yaml_parser_delete(&parser);
        return false;
    }
    yaml_parser_delete(&parser);
    auto doc = std::make_unique<LoadedDocument>();
    doc->document = document;
    WebConfig parsed;
    yaml_node_t* root = yaml_document_get_root_node(&doc->document);
    if (root != nullptr && !is_null(root)) {
        std::vector<std::pair<std::string, yaml_node_t*>> pairs;
        if (!mapping_pairs(&doc->document, root, &pairs)) {
            *error = "the file is not a mapping";
            return false;
        }
        for (const auto& [key, value] : pairs) {
            if (is_null(value)) {
                continue;
            }
            if (key == "tls_server_config") {
                if (!parse_tls(&doc->document, value, folder, &parsed, error)) {
                    return false;
                }
            } else if (key == "basic_auth_users") {
                if (!parse_users(&doc->document, value, &parsed, error)) {
                    return false;
                }
            } else if (key == "http_server_config") {
                *error = "http_server_config is not supported by tarvik-exporter";
                return false;
            } else {
                *error = "unknown field " + key;
                return false;
            }
        }
    }
    *config = parsed;
    return true;
}

bool read_web_config(const std::string& path, WebConfig* config, std::string* error) {
    std::string text;
    if (!read_small_file(path, kLongestConfig, &text, error)) {
        return false;
    }
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    std::string why;
    if (!parse_web_config(text, slash == 0 ? "/" : folder, config, &why)) {
        *error = path + ": " + why;
        return false;
    }
    return true;
}

bool basic_credentials(const std::string& header, std::string* user, std::string* password) {
    // The scheme's name in any case, then one or more spaces (RFC 7235).
    constexpr char kScheme[] = "basic";
    constexpr size_t kSchemeLength = sizeof kScheme - 1;
    if (header.size() <= kSchemeLength || header[kSchemeLength] != ' ') {
        return false;
    }
    for (size_t i = 0; i < kSchemeLength; ++i) {
        if (std::tolower(static_cast<unsigned char>(header[i])) != kScheme[i]) {
            return false;
        }
    }
    const size_t credentials = header.find_first_not_of(' ', kSchemeLength);
    std::string decoded;
    if (credentials == std::string::npos || !base64_decode(header.substr(credentials), &decoded)) {
        return false;
    }
    const size_t colon = decoded.find(':');
    if (colon == std::string::npos) {
        return false;
    }
    *user = decoded.substr(0, colon);
    *password = decoded.substr(colon + 1);
    return true;
}

bool same_text(const std::string& a, const std::string& b) {
    unsigned char differ = a.size() == b.size() ? 0 : 1;
    for (size_t i = 0; i < b.size(); ++i) {
        differ |= static_cast<unsigned char>(a[i % std::max<size_t>(a.size(), 1)] ^ b[i]);
    }
    return differ == 0;
}

bool password_matches(const std::string& password, const std::string& hash) {
    if (password.find('\0') != std::string::npos) {
        return false;
    }
    // crypt_data is large (tens of kilobytes): on the heap, one per check,
    // so that checks on several threads share nothing.
    auto data = std::make_unique<crypt_data>();
    const char* result = crypt_rn(password.c_str(), hash.c_str(), data.get(), sizeof *data);
    if (result == nullptr || result[0] == '*' || std::strlen(result) != hash.size()) {
        return false;
    }
    unsigned char differ = 0;
    for (size_t i = 0; i < hash.size(); ++i) {
        differ |= static_cast<unsigned char>(result[i] ^ hash[i]);
    }
    return differ == 0;
}

BasicAuth::BasicAuth(std::map<std::string, std::string> users) : users_(std::move(users)) {
    // A hash of the first user's cost, for unknown users to be checked
    // against: they cost the same bcrypt work as a known user's wrong
    // password, so that timing does not tell which user names exist.
    if (!users_.empty()) {
        const std::string& hash = users_.begin()->second;
        char salt[CRYPT_GENSALT_OUTPUT_SIZE];
        auto data = std::make_unique<crypt_data>();
        const unsigned long cost = std::strtoul(hash.substr(4, 2).c_str(), nullptr, 10);
        if (crypt_gensalt_rn(hash.substr(0, 4).c_str(), cost, nullptr, 0, salt, sizeof salt) !=
            nullptr) {
            const char* made = crypt_rn("", salt, data.get(), sizeof *data);
            unknown_user_hash_ = made != nullptr && made[0] != '*' ? made : hash;
        } else {
            unknown_user_hash_ = hash;
        }
    }
}

bool BasicAuth::allows_from_memory(const std::string& authorization_header) {
    std::string user;
    std::string password;
    if (!basic_credentials(authorization_header, &user, &password)) {
        return false;
    }
    const auto found = users_.find(user);
    if (found == users_.end()) {
        return false;
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    return passed_.count(user + '\0' + found->second + '\0' + password) != 0;
}

bool BasicAuth::allows(const std::string& authorization_header) {
    std::string user;
    std::string password;
    if (!basic_credentials(authorization_header, &user, &password)) {
        return false;
    }
    // Every user name is compared, each in time that does not depend on
    // where it differs.
    const std::string* hash = nullptr;
    for (const auto& [name, user_hash] : users_) {
        if (same_text(name, user)) {
            hash = &user_hash;
        }
    }
    const std::string key =
        user + '\0' + (hash != nullptr ? *hash : unknown_user_hash_) + '\0' + password;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (hash != nullptr && passed_.count(key) != 0) {
            return true;
        }
    }
    const bool matches = password_matches(password, hash != nullptr ? *hash : unknown_user_hash_);
    if (hash == nullptr || !matches) {
        return false;
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    if (passed_.size() >= kRememberedPasses) {
        passed_.clear();
    }
    passed_.insert(key);
    return true;
}
