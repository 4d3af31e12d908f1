#include "web_access.h"

#include <QCryptographicHash>
#include <QHttpServerRequest>
#include <QList>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <algorithm>

namespace {

constexpr int kIterations = 100000;
constexpr int kSaltBytes = 16;
constexpr int kHashBytes = 32;
constexpr std::size_t kMostSessions = 64;
constexpr std::size_t kMostCallersRemembered = 1024;

QByteArray RandomBytes(int count) {
    QByteArray bytes(count, '\0');
    QRandomGenerator::system()->generate(bytes.begin(), bytes.end());
    return bytes;
}

QByteArray Derive(const QByteArray& password, const QByteArray& salt, int iterations) {
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password, salt, iterations,
                                              kHashBytes);
}

// Every byte is looked at, so that the time taken tells nothing of where two hashes differ.
bool SameBytes(const QByteArray& a, const QByteArray& b) {
    if (a.size() != b.size()) return false;
    unsigned char difference = 0;
    for (qsizetype k = 0; k < a.size(); ++k) difference |= static_cast<unsigned char>(a[k] ^ b[k]);
    return difference == 0;
}

// The host part of a Host header: "127.0.0.1:8454" → "127.0.0.1", "[::1]:80" → "::1".
QByteArray HostName(const QByteArray& host) {
    if (host.startsWith('[')) return host.mid(1, host.indexOf(']') - 1);
    const qsizetype colon = host.lastIndexOf(':');
    return colon < 0 ? host : host.left(colon);
}

}  // namespace

std::string HashPassword(const QByteArray& password) {
    const QByteArray salt = RandomBytes(kSaltBytes);
    return "pbkdf2-sha256$" + std::to_string(kIterations) + "$" + salt.toBase64().toStdString() + "$" +
           Derive(password, salt, kIterations).toBase64().toStdString();
}

bool PasswordMatches(const QByteArray& password, const std::string& stored) {
    const QList<QByteArray> fields = QByteArray::fromStdString(stored).split('$');
    if (fields.size() != 4 || fields[0] != "pbkdf2-sha256") return false;
    bool number = false;
    const int iterations = fields[1].toInt(&number);
    if (!number || iterations < 1) return false;
    return SameBytes(Derive(password, QByteArray::fromBase64(fields[2]), iterations),
                     QByteArray::fromBase64(fields[3]));
}

QByteArray HeaderOf(const QHttpServerRequest& request, const QByteArray& name) {
    for (const auto& [key, value] : request.headers())
        if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
    return {};
}

std::optional<QByteArray> WebAccess::SessionOf(const QByteArray& cookieHeader, Clock::time_point now) {
    std::erase_if(sessions_, [now](const auto& session) { return session.second <= now; });
    const QByteArray name = QByteArray(kCookie) + "=";
    for (QByteArray cookie : cookieHeader.split(';')) {
        cookie = cookie.trimmed();
        if (!cookie.startsWith(name)) continue;
        const QByteArray token = cookie.mid(name.size());
        if (sessions_.count(token)) return token;
    }
    return std::nullopt;
}

bool WebAccess::MayChange(const QByteArray& cookieHeader, Clock::time_point now) {
    return !PasswordSet() || SessionOf(cookieHeader, now).has_value();
}

bool WebAccess::MayRead(const QByteArray& cookieHeader, Clock::time_point now) {
    return !config_.readNeedsPassword || MayChange(cookieHeader, now);
}

bool WebAccess::MayChange(const QHttpServerRequest& request, Clock::time_point now) {
    return MayChange(HeaderOf(request, "Cookie"), now);
}

bool WebAccess::MayRead(const QHttpServerRequest& request, Clock::time_point now) {
    return MayRead(HeaderOf(request, "Cookie"), now);
}

std::optional<WebAccess::Login> WebAccess::Admit(const QHostAddress& from, Clock::time_point now) {
    if (!PasswordSet()) return Open(now);
    const auto found = failures_.find(from.toString());
    if (found == failures_.end()) {
        if (failures_.size() >= kMostCallersRemembered) failures_.erase(failures_.begin());
        failures_[from.toString()].checking = true;
        return std::nullopt;
    }
    Failures& failures = found->second;
    if (failures.checking || now < failures.notBefore) {
        const auto wait = std::chrono::ceil<std::chrono::seconds>(failures.notBefore - now);
        return Login{Login::Outcome::Slowed, {}, static_cast<int>(std::max<std::int64_t>(wait.count(), 1))};
    }
    failures.checking = true;
    return std::nullopt;
}

WebAccess::Login WebAccess::Finish(bool matches, const QHostAddress& from, Clock::time_point now) {
    Failures& failures = failures_[from.toString()];
    failures.checking = false;
    if (matches) {
        failures_.erase(from.toString());
        return Open(now);
    }
    // Each failure doubles the wait before the caller's next try is heard at all.
    ++failures.count;
    const auto wait = std::min<std::chrono::seconds>(
        std::chrono::seconds(1LL << std::min(failures.count - 1, 10)), kLongestLoginWait);
    failures.notBefore = now + wait;
    return {Login::Outcome::Wrong, {}, static_cast<int>(wait.count())};
}

WebAccess::Login WebAccess::Open(Clock::time_point now) {
    if (sessions_.size() >= kMostSessions)
        sessions_.erase(std::min_element(sessions_.begin(), sessions_.end(),
                                         [](const auto& a, const auto& b) { return a.second < b.second; }));
    const QByteArray token = RandomBytes(32).toHex();
    sessions_[token] = now + kSessionLife;
    return {Login::Outcome::Opened, token, 0};
}

void WebAccess::LogOut(const QByteArray& cookieHeader) {
    if (const auto token = SessionOf(cookieHeader, Clock::now())) sessions_.erase(*token);
}

std::string WebAccess::Foreign(const QHttpServerRequest& request, bool changes) const {
    return Foreign(HeaderOf(request, "Host"), HeaderOf(request, "Origin"),
                   HeaderOf(request, "Sec-Fetch-Site"), changes);
}

std::string WebAccess::Foreign(const QByteArray& host, const QByteArray& origin, const QByteArray& fetchSite,
                               bool changes) const {
    // Without a password only loopback can reach the page; a page of another site that has its own name
    // resolve to 127.0.0.1 must not pass for this one.
    const QByteArray name = HostName(host);
    if (!PasswordSet() && name != "127.0.0.1" && name != "localhost" && name != "::1")
        return "this page answers only as 127.0.0.1 or localhost";
    if (!changes) return {};
    if (!origin.isEmpty() && origin != "http://" + host)
        return "a request from another site (" + origin.toStdString() + ") may not change the node";
    if (!fetchSite.isEmpty() && fetchSite != "same-origin" && fetchSite != "none")
        return "a request from another site may not change the node";
    return {};
}
