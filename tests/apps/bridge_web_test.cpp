// The node's JSON API as scripts use it: real HTTP on loopback to the real daemon, with a password set.
#include "bridge_fixture.h"
#include "support/http_client.h"

namespace {

using namespace bridge_testing;
using http_loopback::Request;

constexpr int kWebPort = 18454;

std::string FileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Each request in order, as one session of a script: what it gets back, and whether the file changed.
TEST_F(Bridge, TheApiAnswersEachRequestAndChangesOnlyWhatItMay) {
    Program hash({"--hash-password"},
                 Launch{.program = "vantor-bridge", .withInput = true, .environment = {}});
    hash.Say("show\n");
    hash.EndInput();
    const std::string line = hash.ReadAll();
    ASSERT_EQ(hash.Wait(), 0) << line;
    ASSERT_TRUE(line.starts_with("password = pbkdf2-sha256$")) << line;
    extraConfig_ = "[web]\nlisten = 127.0.0.1\nport = " + std::to_string(kWebPort) + "\n" + line;
    Start({{.number = 1, .widget = 1, .universe = 0}, {.number = 2, .widget = 2, .universe = 1}});
    ASSERT_TRUE(node_->WaitFor("page http://127.0.0.1:" + std::to_string(kWebPort) + "/", 10s))
        << node_->Said();
    const std::string file = (folder_ / "bridge.conf").string();

    const auto login = Request(kWebPort, "POST", "/api/login", R"({"password":"show"})",
                               {{"Content-Type", "application/json"}});
    ASSERT_EQ(login.status, 200) << login.body;
    const auto cookieAt = login.headers.find("vantor-session=");
    ASSERT_NE(cookieAt, std::string::npos) << login.headers;
    const std::string cookie = login.headers.substr(cookieAt, login.headers.find(';', cookieAt) - cookieAt);

    const std::string json = "application/json";
    const struct {
        const char* what;
        std::string method, path, body, type;
        bool session;
        std::string origin;
        int status;
        std::string answer;  // a part of the body
        bool changes = false;
    } rows[] = {
        {"status without a session", "GET", "/api/ports", "", "", false, "", 200, "\"number\":2"},
        {"one port", "GET", "/api/ports/1", "", "", false, "", 200, "\"mode\":\"send\""},
        {"levels", "GET", "/api/ports/1/levels", "", "", false, "", 200, "\"levels\":[0,"},
        {"node", "GET", "/api/node", "", "", false, "", 200, "\"interface\":\"lo\""},
        {"a change without a session", "PUT", "/api/ports/2", R"({"universe":5})", json, false, "", 401,
         "log in to change the node"},
        {"a wrong password", "POST", "/api/login", R"({"password":"shw"})", json, false, "", 401,
         "wrong password"},
        {"the right one at once after", "POST", "/api/login", R"({"password":"show"})", json, false, "", 429,
         "try again in"},
        {"another site", "PUT", "/api/ports/2", R"({"universe":5})", json, true, "http://evil.example", 403,
         "another site"},
        {"malformed JSON", "PUT", "/api/ports/2", R"({"universe":)", json, true, "", 400, "not JSON"},
        {"not an object", "PUT", "/api/ports/2", "[5]", json, true, "", 400, "a JSON object"},
        {"not JSON at all", "PUT", "/api/ports/2", "universe=5", "application/x-www-form-urlencoded", true,
         "", 400, "must be JSON"},
        {"a text for a number", "PUT", "/api/ports/2", R"({"universe":"5"})", json, true, "", 400,
         "universe must be a whole number"},
        {"a fraction", "PUT", "/api/ports/2", R"({"priority":1.5})", json, true, "", 400,
         "priority must be a whole number"},
        {"out of range", "PUT", "/api/ports/2", R"({"universe":70000})", json, true, "", 400, "70000"},
        {"sACN's range", "PUT", "/api/ports/2", R"({"protocol":"sacn","universe":0})", json, true, "", 400,
         "universe 0"},
        {"an unknown mode", "PUT", "/api/ports/2", R"({"mode":"both"})", json, true, "", 400, "both"},
        {"an unknown setting", "PUT", "/api/ports/2", R"({"colour":"red"})", json, true, "", 400,
         "unknown setting 'colour'"},
        {"a name that would break the file", "PUT", "/api/ports/2", "{\"name\":\"a\\nb\"}", json, true, "",
         400, "name"},
        {"an unknown port", "PUT", "/api/ports/9", R"({"universe":5})", json, true, "", 404, "no port 9"},
        {"not a port", "GET", "/api/ports/x", "", "", false, "", 404, "no port x"},
        {"not a request", "GET", "/api/nothing", "", "", false, "", 404, "not a request"},
        {"an oversized image", "POST", "/api/ports/1/firmware", std::string(70000, 'x'),
         "application/octet-stream", true, "", 413, "at most 65536 bytes"},
        // No answer at all: the connection is cut off before the node has taken it whole.
        {"a body larger than any request", "POST", "/api/ports/1/firmware", std::string(4 << 20, 'x'),
         "application/octet-stream", true, "", 0, ""},
        {"an empty image", "POST", "/api/ports/1/firmware", "", "application/octet-stream", true, "", 400,
         "empty"},
        {"locate, not a Boolean", "POST", "/api/ports/1/locate", R"({"on":"yes"})", json, true, "", 400,
         "true or false"},
        {"locate", "POST", "/api/ports/1/locate", R"({"on":true})", json, true, "", 200, "\"locating\":true"},
        {"a merge of neither kind", "PUT", "/api/ports/1", R"({"merge":"both"})", json, true, "", 400,
         "merge 'both' should be htp or ltp"},
        {"merge by LTP", "PUT", "/api/ports/1", R"({"merge":"ltp"})", json, true, "", 200,
         "\"mergeMode\":\"ltp\"", true},
        {"net:sub:uni and a long name", "PUT", "/api/ports/2",
         R"({"universe":"1:2:3","longName":"rear truss"})", json, true, "", 200, "\"universe\":291", true},
        {"both read back", "GET", "/api/ports/2", "", "", false, "", 200, "\"longName\":\"rear truss\""},
        {"the merge read back", "GET", "/api/ports/1", "", "", false, "", 200, "\"mergeMode\":\"ltp\""},
        {"remote configuration", "GET", "/api/node", "", "", false, "", 200, "\"remoteConfig\":true"},
        {"a good change", "PUT", "/api/ports/2", R"({"universe":5,"name":"spots"})", json, true, "", 200,
         "\"universe\":5", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string before = FileText(file);
        std::vector<std::pair<std::string, std::string>> headers;
        if (!row.type.empty()) headers.emplace_back("Content-Type", row.type);
        if (row.session) headers.emplace_back("Cookie", cookie);
        if (!row.origin.empty()) headers.emplace_back("Origin", row.origin);
        const auto answer = Request(kWebPort, row.method, row.path, row.body, headers);
        EXPECT_EQ(answer.status, row.status) << answer.body;
        EXPECT_NE(answer.body.find(row.answer), std::string::npos) << answer.body;
        if (answer.status >= 400) {
            EXPECT_NE(answer.body.find("{\"error\":"), std::string::npos) << answer.body;
        }
        EXPECT_EQ(FileText(file) != before, row.changes) << FileText(file);
    }
    const std::string after = FileText(file);
    EXPECT_NE(after.find("universe = 5"), std::string::npos) << after;
    EXPECT_NE(after.find("name = spots"), std::string::npos) << after;
    EXPECT_NE(after.find("merge = ltp"), std::string::npos) << after;
    EXPECT_NE(after.find("long_name = rear truss"), std::string::npos) << after;
    EXPECT_TRUE(Reaches(5, 2)) << node_->Said();
    EXPECT_TRUE(Reaches(0, 1)) << node_->Said();
}

}  // namespace
