// Which targets a probe may name, and the community each gets.
#include "exporter/access.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

TEST(ExporterAccess, TargetsAreHostAndPortAsPrometheusPassesThem) {
    const struct {
        const char* text;
        bool ok;
        const char* host;
        uint16_t port;
        bool numeric;
    } cases[] = {
        {"192.0.2.7", true, "192.0.2.7", 161, true},
        {"192.0.2.7:1161", true, "192.0.2.7", 1161, true},
        {"Link-7.Example.org", true, "link-7.example.org", 161, false},
        {"[2001:db8::7]:1161", true, "2001:db8::7", 1161, true},
        {"2001:db8::7", true, "2001:db8::7", 161, true},
        {"[link7]:161", false, "", 0, false},  // brackets hold an IPv6 address only
        {"192.0.2.7:0", false, "", 0, false},
        {"192.0.2.7:65536", false, "", 0, false},
        {"", false, "", 0, false},
        {"host name", false, "", 0, false},
        {"host/evil", false, "", 0, false},
        {"host%00", false, "", 0, false},
        // What is checked is what is sent to: one spelling of an address,
        // and the octets of a host and port only.
        {"[2001:DB8:0::7]:1161", true, "2001:db8::7", 1161, true},
        {"[::ffff:127.0.0.1]:17002", true, "127.0.0.1", 17002, true},
        {"::ffff:7f00:1", true, "127.0.0.1", 161, true},
        {"127.0.0.1%00x:17002", false, "", 0, false},
        {"127.0.0.1\x01:17002", false, "", 0, false},
        {"127.0.0.1 :17002", false, "", 0, false},
        {"127.1", false, "", 0, false},
        {"2130706433", false, "", 0, false},
        {"[fe80::1%eth0]:161", false, "", 0, false},
    };
    for (const auto& c : cases) {
        TargetName t;
        ASSERT_EQ(parse_target(c.text, &t), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(t.host, c.host) << c.text;
            EXPECT_EQ(t.port, c.port) << c.text;
            EXPECT_EQ(t.numeric, c.numeric) << c.text;
        }
    }
    TargetName overlong;
    EXPECT_FALSE(parse_target(std::string(300, 'a'), &overlong));
    // The text before a NUL is an allowed target; the whole is not one.
    EXPECT_FALSE(parse_target(std::string("127.0.0.1\0x:17002", 18), &overlong));
}

TEST(ExporterAccess, OnlyTargetsInsideTheAllowedNetworksHostsOrFileAreProbed) {
    TargetPolicy policy;
    for (const char* rule : {"192.0.2.0/24", "10.1.2.3", "2001:db8:1::/48", "Link9.example.org",
                             "198.51.100.128/25"}) {
        AllowRule r;
        ASSERT_TRUE(parse_allow_rule(rule, &r)) << rule;
        policy.allow(r);
    }
    TargetName listed;
    ASSERT_TRUE(parse_target("203.0.113.5:1161", &listed));
    policy.allow_target(listed);
    const struct {
        const char* target;
        bool allowed;
    } cases[] = {
        {"192.0.2.0", true},
        {"192.0.2.255:1161", true},
        {"192.0.3.1", false},
        {"10.1.2.3", true},
        {"10.1.2.4", false},
        {"[2001:db8:1:ffff::1]:161", true},
        {"[2001:db8:2::1]:161", false},
        {"link9.example.org:1161", true},
        {"link10.example.org", false},
        {"198.51.100.127", false},
        {"198.51.100.128", true},
        {"203.0.113.5:1161", true},
        {"203.0.113.5", false},     // the file names port 1161 only
        {"::ffff:10.1.2.3", true},  // sent to 10.1.2.3, so checked as it
        {"::ffff:10.1.2.4", false},
        {"[::ffff:203.0.113.5]:1161", true},
    };
    for (const auto& c : cases) {
        TargetName t;
        ASSERT_TRUE(parse_target(c.target, &t)) << c.target;
        EXPECT_EQ(policy.allows(t), c.allowed) << c.target;
    }
    EXPECT_FALSE(TargetPolicy().allows(listed));
    // Every IPv6 address allowed is no IPv4 address allowed.
    TargetPolicy v6;
    AllowRule all_v6;
    ASSERT_TRUE(parse_allow_rule("::/0", &all_v6));
    v6.allow(all_v6);
    TargetName mapped;
    ASSERT_TRUE(parse_target("[::ffff:127.0.0.1]:161", &mapped));
    EXPECT_FALSE(v6.allows(mapped));
}

TEST(ExporterAccess, AllowRulesThatAreNeitherNetworkNorHostAreRefused) {
    for (const char* rule : {"192.0.2.0/33", "2001:db8::/129", "192.0.2.0/", "192.0.2.0/x",
                             "host/24", "", "a b", "192.0.2.0/-1"}) {
        AllowRule r;
        EXPECT_FALSE(parse_allow_rule(rule, &r)) << rule;
    }
}

TEST(ExporterAccess, CommunitiesComeFromTheFileWithPerTargetLines) {
    Communities communities("quolen");
    std::string error;
    ASSERT_TRUE(
        communities.parse("# the fleet's\n  fleet-secret \r\n192.0.2.7:1161 own\n\n", &error))
        << error;
    const struct {
        const char* target;
        const char* community;
    } cases[] = {{"192.0.2.7:1161", "own"},
                 {"[::ffff:192.0.2.7]:1161", "own"},
                 {"192.0.2.7", "fleet-secret"},
                 {"x.example", "fleet-secret"}};
    for (const auto& c : cases) {
        TargetName t;
        ASSERT_TRUE(parse_target(c.target, &t));
        EXPECT_EQ(communities.of(t), c.community) << c.target;
    }
    for (const char* bad : {"192.0.2.7 two words", "not/a/target secret"}) {
        Communities other("quolen");
        EXPECT_FALSE(other.parse(bad, &error)) << bad;
    }
}

TEST(ExporterAccess, ACommunityFileIsStrictAndNamesTheLineOfItsFault) {
    const struct {
        const char* text;
        const char* error_holds;  // empty: taken
        const char* community;    // of 192.0.2.7:161, when taken
    } cases[] = {
        {"\xEF\xBB\xBFsecret\n", "", "secret"},  // an editor's byte order mark
        {"one\n# two\ntwo\n",
         "line 3: a second community for every target (the first is on line 1)", ""},
        {"x\n192.0.2.7 a\n192.0.2.7:161 b\n", "line 3: a second community for 192.0.2.7:161", ""},
        {"secret\n192.0.2.7:161\n", "line 2: 192.0.2.7:161 is a target without its community", ""},
        {"sec\x01ret\n", "line 1: the community holds a control character", ""},
        {"192.0.2.7 a b\n", "line 1: more than TARGET COMMUNITY", ""},
        {"a/b secret\n", "line 1: a/b is not a target", ""},
        {"pass:word\n", "", "pass:word"},  // a colon alone does not make a target
    };
    for (const auto& c : cases) {
        Communities communities("quolen");
        std::string error;
        const bool taken = communities.parse(c.text, &error);
        EXPECT_EQ(taken, c.error_holds[0] == '\0') << c.text;
        EXPECT_NE(error.find(c.error_holds), std::string::npos) << c.text << ": " << error;
        TargetName t;
        ASSERT_TRUE(parse_target("192.0.2.7", &t));
        if (taken) {
            EXPECT_EQ(communities.of(t), c.community) << c.text;
        }
    }
}

TEST(ExporterAccess, ACommunityFileThatGroupOrOthersMayReadIsRefused) {
    const std::string path = ::testing::TempDir() + "/exporter-communities";
    for (const mode_t mode : {0600, 0400, 0640, 0604, 0660, 0666}) {
        { std::ofstream(path) << "secret\n"; }
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        Communities communities("quolen");
        std::string error;
        EXPECT_EQ(read_communities_file(path, &communities, &error), (mode & 077) == 0)
            << std::oct << mode;
        if ((mode & 077) != 0) {
            EXPECT_NE(error.find("group or others"), std::string::npos) << error;
        }
    }
    std::remove(path.c_str());
}

}  // namespace
