#include "output/output_name.h"

#include "base/text_number.h"

namespace orvamy {

std::string MakeTimeStamp(const LocalTime& t) {
  // The date-time text the program's name is modelled on reads
  // "2024年3月5日14时7分9秒"; removing the unit characters leaves the digits.
  std::string stamp = IntToText(t.year) + IntToText(t.month) + IntToText(t.day);
  if (t.second != 0) {
    stamp += IntToText(t.hour) + IntToText(t.minute) + IntToText(t.second);
  } else if (t.minute != 0) {
    stamp += IntToText(t.hour) + IntToText(t.minute);
  } else if (t.hour != 0) {
    stamp += IntToText(t.hour);
  }
  return stamp;
}

std::string MakeOutputPath(std::string_view directory, char separator, std::string_view stamp,
                           std::string_view suffix) {
  std::string path(directory);
  if (path.empty() || path.back() != separator) path.push_back(separator);
  path += "GIF";
  path += stamp;
  path += suffix;
  path += ".gif";
  return path;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (true) {
    const std::size_t hit = text.find(from, pos);
    if (hit == std::string_view::npos) break;
    out.append(text.substr(pos, hit - pos));
    out.append(to);
    pos = hit + from.size();
  }
  out.append(text.substr(pos));
  return out;
}

}  // namespace orvamy
