// The lists' timestamp mask "0000\-00\-00\ 00\:00\:00;1;_": the value's
// characters fill the mask's fourteen places in order, the literals stand
// between them. A 14-digit YYYYMMDDHHMMSS reads "YYYY-MM-DD HH:MM:SS".
// Other lengths: a shorter value leaves its missing places as "_", a
// longer one shows its first fourteen characters, an empty or null value
// shows nothing (an empty cell, not a row of blanks).
#pragma once

#include <QString>

namespace ui {

QString maskTimestamp(const QString& value);

}  // namespace ui
