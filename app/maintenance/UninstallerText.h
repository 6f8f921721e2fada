#pragma once

// What the uninstaller says: disk space in KB, MB or GB (decimal units, the number in the
// user's locale), the question before anything is removed, and the message that lists what
// could not be removed.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ovra::UninstallerText {

// "0 KB", "1 KB" (anything from one byte), "850 KB", "1.5 MB", "2.35 GB"; a count that would
// round to 1,000 of a unit is given in the next one.
std::string byteCount(std::int64_t bytes);

// The question, its buttons and whether answering yes destroys something.
struct Question {
    std::string title;
    std::string message;
    std::string confirmTitle;
    std::string cancelTitle;
    bool destructive = true;
};

// What is known of a removal when the question is asked, or asked again as more is learnt:
// `total` is everything removed, `modelSize` the on-device model's share of it (the short
// form when 0), both none while still counting; `appMovesToTrash` says whether the app itself
// goes to the Trash or stays where it was installed (none while not known); `unanswered` names
// the places that did not answer in time, as people read them, whose space is not counted.
struct Known {
    std::optional<std::int64_t> total;
    std::optional<std::int64_t> modelSize;
    std::optional<bool> appMovesToTrash;
    std::vector<std::string> unanswered;
};
Question question(const Known& known);
Question question(std::int64_t total, std::int64_t modelSize, bool appMovesToTrash);

// A line of the final message: the path as people read it ("~/..."), and why it is still
// there when that is known.
struct Remaining {
    std::string path;
    std::string why;
};

struct Message {
    std::string title;
    std::string text;
};
// The final message after a removal that left something behind.
Message failure(const std::vector<Remaining>& remaining);

}  // namespace ovra::UninstallerText
