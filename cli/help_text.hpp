// maxhost's own documentation: the whole manual (--help), one topic of it
// (help TOPIC: a command, or an object's reference), and the list of
// topics.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace maxhost {

std::string help_all();
// The topic's text; nothing for an unknown topic.
std::optional<std::string> help_topic(std::string_view topic);
// The topics help knows, for an error message.
std::string_view help_topic_names();

}  // namespace maxhost
