// Answers shaped like the service's userAuth answer, for the JSON benchmark:
// `accounts` records of twelve members, a branch list, Traditional Chinese
// texts both raw (UTF-8) and as \u escapes.
#pragma once

#include <cstdio>
#include <string>

inline std::string UserAuthAnswer(int accounts) {
    static const char* const kNamesRaw[] = {"\xE5\x8F\xB0\xE5\x8C\x97\xE5\x88\x86\xE5\x85\xAC\xE5\x8F\xB8",  // 台北分公司
                                            "\xE6\x96\xB0\xE7\xAB\xB9\xE5\x88\x86\xE5\x85\xAC\xE5\x8F\xB8",  // 新竹分公司
                                            "\xE9\xAB\x98\xE9\x9B\x84\xE5\x88\x86\xE5\x85\xAC\xE5\x8F\xB8"}; // 高雄分公司
    static const char* const kNamesEscaped[] = {"\\u53f0\\u4e2d\\u5206\\u516c\\u53f8",   // 台中分公司
                                                "\\u677f\\u6a4b\\u5206\\u516c\\u53f8",   // 板橋分公司
                                                "\\u5609\\u7fa9\\u5206\\u516c\\u53f8"};  // 嘉義分公司
    std::string t;
    t.reserve(static_cast<size_t>(accounts) * 420 + 4096);
    t += "{\"state\":1,\"message\":\"\xE7\x99\xBB\xE5\x85\xA5\xE6\x88\x90\xE5\x8A\x9F\","
         "\"name\":\"\\u738b\\u5c0f\\u660e\",\"id\":\"A123456789\",\"applyList\":[";
    char buf[640];
    for (int i = 0; i < accounts; ++i) {
        std::snprintf(buf, sizeof buf,
                      "%s\n  {\"CustID\":\"A123456789\",\"Prod\":\"%s\",\"BranchNo\":\"%04d\",\"Account\":\"%07d\","
                      "\"RiskSignStus\":\"S\",\"RiskSignDate\":\"2021-03-%02d 14:07:09\",\"APIStus\":\"%s\","
                      "\"CertiSeno\":\"%08X\",\"CertiDate\":\"2021-04-01 09:30:00\",\"CustIP\":\"192.168.%d.%d\","
                      "\"Act\":%s,\"UptDate\":\"2022-01-%02d 08:00:00\",\"Note\":\"%s\",\"Memo\":\"%s\"}",
                      i ? "," : "", i % 3 ? "F" : "S", i % 97, i, i % 28 + 1, i % 2 ? "Y" : "S",
                      static_cast<unsigned>(i) * 2654435761u, i % 256, (i * 7) % 256, i % 5 ? "null" : "1",
                      i % 28 + 1, kNamesRaw[i % 3], kNamesEscaped[i % 3]);
        t += buf;
    }
    t += "],\"branchList\":[";
    for (int b = 0; b < 97; ++b) {
        std::snprintf(buf, sizeof buf, "%s{\"gatway_no\":\"%03d\",\"branch_no\":\"%04d\",\"branch_name\":\"%s\"}",
                      b ? "," : "", b, b, b % 2 ? kNamesRaw[b % 3] : kNamesEscaped[b % 3]);
        t += buf;
    }
    t += "]}";
    return t;
}
