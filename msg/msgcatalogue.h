// The built-in message tables, generated at build time from data/messages
// by qrvmsggen (tools/nlsc). Each is sorted by id and ends with id 0.
#pragma once

#include "msnlsmsg.h"

namespace qrv::msg {

extern const msnlsmsg_entry english_table[];
extern const msnlsmsg_entry french_table[];
extern const msnlsmsg_entry japanese_table[];
extern const msnlsmsg_entry chinese_table[];

}  // namespace qrv::msg
