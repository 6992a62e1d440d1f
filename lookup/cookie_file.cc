// Reading and writing cookie files in the Netscape format, as curl does.
#include "lookup/cookie_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "lookup/file_bytes.h"

namespace morvellin {

namespace {

constexpr std::string_view kHttpOnlyPrefix = "#HttpOnly_";

bool IsBlank(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

bool IsComment(std::string_view line) {
  return IsBlank(line) || (line.front() == '#' && !line.starts_with(kHttpOnlyPrefix));
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool ParseFlag(std::string_view field, bool* flag) {
  if (EqualsIgnoreCase(field, "TRUE")) {
    *flag = true;
  } else if (EqualsIgnoreCase(field, "FALSE")) {
    *flag = false;
  } else {
    return false;
  }
  return true;
}

// Parses a cookie line; returns an empty string on success, else what is
// wrong with it.
std::string ParseCookieLine(std::string_view line, Cookie* cookie) {
  Cookie parsed;
  if (line.starts_with(kHttpOnlyPrefix)) {
    parsed.http_only = true;
    line.remove_prefix(kHttpOnlyPrefix.size());
  }
  std::vector<std::string_view> fields;
  for (size_t start = 0;;) {
    size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  // curl reads a line whose value field is missing as an empty value.
  if (fields.size() == 6) fields.push_back({});
  if (fields.size() != 7) {
    return "expected 7 tab-separated fields, found " + std::to_string(fields.size());
  }
  std::string_view domain = fields[0];
  while (domain.starts_with('.')) domain.remove_prefix(1);
  if (domain.empty()) return "empty domain";
  parsed.domain = domain;
  for (char& c : parsed.domain) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  bool include_subdomains = false;
  if (!ParseFlag(fields[1], &include_subdomains)) {
    return "the second field must be TRUE or FALSE";
  }
  parsed.host_only = !include_subdomains;
  parsed.path = fields[2].empty() ? std::string("/") : std::string(fields[2]);
  if (!ParseFlag(fields[3], &parsed.secure)) {
    return "the fourth field must be TRUE or FALSE";
  }
  std::string_view expires = fields[4];
  auto [end, ec] = std::from_chars(expires.data(), expires.data() + expires.size(),
                                   parsed.expires);
  if (expires.empty() || ec != std::errc() || end != expires.data() + expires.size()) {
    return "the expiry time must be a whole number of seconds";
  }
  parsed.name = fields[5];
  parsed.value = fields[6];
  *cookie = std::move(parsed);
  return {};
}

// A field that holds a tab or a line end cannot be written as a line.
bool Representable(const Cookie& cookie) {
  for (const std::string* field :
       {&cookie.name, &cookie.value, &cookie.domain, &cookie.path}) {
    if (field->find_first_of(std::string_view("\t\r\n\0", 4)) != std::string::npos) {
      return false;
    }
  }
  return !cookie.domain.empty();
}

std::string ErrnoText(int error) { return std::strerror(error); }

}  // namespace

std::string FormatNetscapeLine(const Cookie& cookie) {
  std::string line;
  if (cookie.http_only) line += kHttpOnlyPrefix;
  if (!cookie.host_only) line += '.';
  line += cookie.domain;
  line += cookie.host_only ? "\tFALSE\t" : "\tTRUE\t";
  line += cookie.path.empty() ? std::string("/") : cookie.path;
  line += cookie.secure ? "\tTRUE\t" : "\tFALSE\t";
  line += std::to_string(cookie.expires);
  line += '\t';
  line += cookie.name;
  line += '\t';
  line += cookie.value;
  return line;
}

bool ParseNetscapeLine(std::string_view line, Cookie* cookie) {
  while (line.ends_with('\r') || line.ends_with('\n')) line.remove_suffix(1);
  if (IsComment(line)) return false;
  return ParseCookieLine(line, cookie).empty();
}

bool ParseCookieFileText(std::string_view text, std::vector<Cookie>* cookies,
                         std::string* error) {
  std::vector<Cookie> parsed;
  int line_number = 0;
  while (!text.empty()) {
    ++line_number;
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (IsComment(line)) continue;
    Cookie cookie;
    std::string problem = ParseCookieLine(line, &cookie);
    if (!problem.empty()) {
      *error = "line " + std::to_string(line_number) + ": " + problem;
      return false;
    }
    parsed.push_back(std::move(cookie));
  }
  *cookies = std::move(parsed);
  return true;
}

std::string FormatCookieFileText(const std::vector<Cookie>& cookies) {
  std::string text =
      "# Netscape HTTP Cookie File\n"
      "# Fields: domain, include subdomains, path, secure, expires (0: session),\n"
      "# name, value. Keep this file private: it holds logins.\n\n";
  for (const Cookie& cookie : cookies) {
    if (!Representable(cookie)) continue;
    text += FormatNetscapeLine(cookie);
    text += '\n';
  }
  return text;
}

bool LoadCookieFile(const std::string& path, CookieStore* store, std::string* error) {
  std::string content;
  int failure = ReadWholeFile(path, &content);
  if (failure != 0) {
    *error = "cannot read " + path + ": " + ErrnoText(failure);
    return false;
  }
  std::vector<Cookie> cookies;
  std::string problem;
  if (!ParseCookieFileText(content, &cookies, &problem)) {
    *error = path + ": " + problem;
    return false;
  }
  store->ReplaceAll(CookieSource::kFile, cookies);
  return true;
}

bool SaveCookieFile(const std::string& path, const CookieStore& store,
                    std::string* error) {
  const std::string text = FormatCookieFileText(store.Snapshot());
  // Written beside the target and renamed over it, so that the file is
  // either the old one or the whole new one.
  std::string temp_path = path + ".XXXXXX";
  int fd = mkstemp(temp_path.data());
  if (fd < 0) {
    *error = "cannot write " + path + ": " + ErrnoText(errno);
    return false;
  }
  // The file holds logins: private unless the existing file says otherwise.
  struct stat existing;
  mode_t mode = S_IRUSR | S_IWUSR;
  if (stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    mode = existing.st_mode & 07777;
  }
  int failure = fchmod(fd, mode) == 0 ? 0 : errno;
  for (size_t done = 0; failure == 0 && done < text.size();) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n == 0 || errno != EINTR) {
      failure = n == 0 ? EIO : errno;
    }
  }
  if (failure == 0 && fsync(fd) != 0) failure = errno;
  if (close(fd) != 0 && failure == 0) failure = errno;
  if (failure == 0 && rename(temp_path.c_str(), path.c_str()) != 0) failure = errno;
  if (failure != 0) {
    unlink(temp_path.c_str());
    *error = "cannot write " + path + ": " + ErrnoText(failure);
    return false;
  }
  return true;
}

}  // namespace morvellin
