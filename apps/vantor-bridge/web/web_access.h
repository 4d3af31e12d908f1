#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <chrono>
#include <map>
#include <optional>
#include <string>

#include "node/node_config.h"

class QHttpServerRequest;

// The stored form of a password: "pbkdf2-sha256$ITERATIONS$SALT$HASH", salt and hash in base64.
std::string HashPassword(const QByteArray& password);
bool PasswordMatches(const QByteArray& password, const std::string& stored);

// Who may read and change the node through its page: the password, the sessions a login opens, the
// slowing down of failed logins, and the checks that keep other sites' pages out. Without a password the
// page listens on loopback only, and everyone who reaches it has the session.
class WebAccess {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr const char* kCookie = "vantor-session";
    static constexpr std::chrono::hours kSessionLife{12};
    static constexpr std::chrono::seconds kLongestLoginWait{60};

    explicit WebAccess(WebConfig config) : config_(std::move(config)) {}

    bool PasswordSet() const { return !config_.password.empty(); }
    bool MayRead(const QHttpServerRequest& request, Clock::time_point now);
    bool MayChange(const QHttpServerRequest& request, Clock::time_point now);
    bool MayChange(const QByteArray& cookieHeader, Clock::time_point now);
    bool MayRead(const QByteArray& cookieHeader, Clock::time_point now);

    struct Login {
        enum class Outcome { Opened, Wrong, Slowed } outcome;
        QByteArray token;    // Opened: the session's
        int retryAfter = 0;  // Wrong, Slowed: seconds until the next try is heard
    };
    // A login in two steps, so that the password's hash, which takes a while by design, is worked out off
    // the thread of events: Admit answers at once where it can (no password to check; a caller who must
    // wait, or whose last try is still being checked), else the caller checks the password against
    // StoredPassword() elsewhere and hands the outcome to Finish.
    std::optional<Login> Admit(const QHostAddress& from, Clock::time_point now);
    const std::string& StoredPassword() const { return config_.password; }
    Login Finish(bool matches, const QHostAddress& from, Clock::time_point now);
    void LogOut(const QByteArray& cookieHeader);

    // Why a request that a browser sent may not be heard: another site's page sent it (Origin,
    // Sec-Fetch-Site), or it names a host that this page is not (a name bound to loopback by another site).
    // Empty when it may.
    std::string Foreign(const QHttpServerRequest& request, bool changes) const;
    std::string Foreign(const QByteArray& host, const QByteArray& origin, const QByteArray& fetchSite,
                        bool changes) const;

private:
    std::optional<QByteArray> SessionOf(const QByteArray& cookieHeader, Clock::time_point now);

    struct Failures {
        int count = 0;
        Clock::time_point notBefore{};
        bool checking = false;
    };
    Login Open(Clock::time_point now);

    WebConfig config_;
    std::map<QByteArray, Clock::time_point> sessions_;  // token, expiry
    std::map<QString, Failures> failures_;              // by the caller's address
};

// A header's value, its name in any case; empty when absent.
QByteArray HeaderOf(const QHttpServerRequest& request, const QByteArray& name);
