#include "InternetErrors.h"

#include <array>
#include <utility>

namespace selvanix::net {

namespace {

using Entry = std::pair<int, const char*>;

constexpr std::array kInternetTexts{
    Entry{12001, "Out of handles"},
    Entry{12002, "Timeout"},
    Entry{12003, "Extended error"},
    Entry{12004, "Internal error"},
    Entry{12005, "Invalid URL"},
    Entry{12006, "Unrecognized scheme"},
    Entry{12007, "Name not resolved"},
    Entry{12008, "Protocol not found"},
    Entry{12009, "Invalid option"},
    Entry{12010, "Bad option length"},
    Entry{12011, "Option not settable"},
    Entry{12012, "Shutdown"},
    Entry{12013, "Incorrect user name"},
    Entry{12014, "Incorrect password"},
    Entry{12015, "Login failure"},
    Entry{12016, "Invalid operation"},
    Entry{12017, "Operation cancelled"},
    Entry{12018, "Incorrect handle type"},
    Entry{12019, "Incorrect handle state"},
    Entry{12020, "Not proxy request"},
    Entry{12021, "Registry value not found"},
    Entry{12022, "Bad registry parameter"},
    Entry{12023, "No direct access"},
    Entry{12024, "No context"},
    Entry{12025, "No callback"},
    Entry{12026, "Request pending"},
    Entry{12027, "Incorrect format"},
    Entry{12028, "Item not found"},
    Entry{12029, "Cannot connect"},
    Entry{12030, "Connection aborted"},
    Entry{12031, "Connection reset"},
    Entry{12032, "Force retry"},
    Entry{12033, "Invalid proxy request"},
    Entry{6, "Stopped"},
    Entry{12990, "Proxy name not resolved"},
    Entry{12991, "Cannot connect to proxy"},
};

constexpr std::array kHttpTexts{
    Entry{400, "Bad request"},         Entry{401, "Access denied"},
    Entry{403, "Access forbidden"},    Entry{404, "File not found"},
    Entry{405, "Bad method"},          Entry{406, "None acceptable"},
    Entry{407, "Proxy auth req"},      Entry{408, "Request timeout"},
    Entry{409, "HTTP Conflict"},       Entry{410, "Gone"},
    Entry{411, "Auth refused"},        Entry{412, "Precond failed"},
    Entry{413, "Request too large"},   Entry{414, "URI too long"},
    Entry{415, "Unsupported media"},   Entry{500, "Server error"},
    Entry{501, "Not supported"},       Entry{502, "Bad gateway"},
    Entry{503, "Service unavailable"}, Entry{504, "Gateway timeout"},
};

template <std::size_t N>
QString lookUp(const std::array<Entry, N>& table, int code, const char* otherwise) {
    for (const auto& [c, text] : table) {
        if (c == code) {
            return QString::fromLatin1(text);
        }
    }
    return QString::fromLatin1(otherwise).arg(code);
}

}  // namespace

QString internetErrorText(int code) {
    return lookUp(kInternetTexts, code, "Internet Error: %1");
}

QString httpErrorText(int status) {
    return lookUp(kHttpTexts, status, "HTTP Error: %1");
}

}  // namespace selvanix::net
