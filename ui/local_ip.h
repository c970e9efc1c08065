#pragma once

#include <QString>

namespace kqc {

// The machine's address in dotted form: the first IPv4 address, not a loopback one, of a network
// interface that is up; "127.0.0.1" when there is none.
QString LocalIPAddress();

}  // namespace kqc
