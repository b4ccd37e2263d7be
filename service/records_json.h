// The records as the client reads them: members named after the record
// fields, every value a string, dates "YYYY-MM-DD HH:MM:SS". An empty date is
// left out rather than sent as "", as the operator's service does.
#pragma once

#include "answer.h"
#include "store.h"

namespace kovasvc {

Json AccountJson(const Account& a);
Json BranchJson(const Branch& b);

} // namespace kovasvc
