// What the account list shows of each account, and where its in-cell link and
// apply button lie: pure functions of a record, the branch list and measured
// sizes, so they can be tested natively.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "center/kovacenter_records.h"
#include "ui/geometry.h"

namespace windows {

const int kAccountColumns = 7;
const int kApplyColumn = 6;
const int kSentenceColumn = 5;
const int kPermissionColumn = 4;

// The texts of columns 0 to 5, in the process code page (column 6 has none).
struct AccountRow {
    std::string cells[6];
};
AccountRow MakeAccountRow(const KovaCenterRecords::ApiApply& record,
                          const std::vector<KovaCenterRecords::Branch>& branches);

// A row can be applied for exactly when its permission column reads "可申請".
bool IsEligible(const std::string& permissionCell);

// The in-cell link "請立即簽署": false when the sentence has none; otherwise
// the text before it, whose measured width places the link.
bool LinkPrefix(const std::string& sentence, std::string* prefix);
// The link from the cell, the prefix's single-line width and the line height:
// from the prefix's end to the cell's right edge, centred vertically.
ui::Rect LinkRect(const ui::Rect& cell, int32_t prefixWidth, int32_t lineHeight);
// A picture of this size centred in the cell (offsets rounded toward zero):
// where the apply button is drawn and hit.
ui::Rect CentredRect(const ui::Rect& cell, int32_t width, int32_t height);

} // namespace windows
