#include "matching/BannedWordTable.h"

namespace Tavrin {

// Stored as byte escapes so that the GBK rows survive any editor or source
// encoding; the readable text of each row is in its comment.
const char* const BannedWordTable[kBannedWordCount] = {
    "\x62\x69\x74\x63\x68",                  //  1 bitch
    "\x73\x68\x69\x74",                      //  2 shit
    "\x66\x61\x6C\x75\x6E",                  //  3 falun
    "\x73\x65\x78",                          //  4 sex
    "\x61\x76",                              //  5 av
    "\x64\x62",                              //  6 db
    "\x47\x43\x44",                          //  7 GCD
    "\x72\x65\x6E\x6D\x69\x6E\x67",          //  8 renming (placeholder name)
    "\x6E\x69\x6D\x69\x6E\x67\x72\x65\x6E",  //  9 nimingren (placeholder name)
    "\x6D\x61\x6B\x69\x6E\x67",              // 10 making
    "\x73\x65\x78",                          // 11 sex
    "\x73\x62",                              // 12 sb
    "\x6A\x62",                              // 13 jb
    "\xC2\xE8\xB5\xC4",                      // 14 妈的
    "\xB2\xD9",                              // 15 操
    "\xB4\xF4\xB1\xC8",                      // 16 呆比
    "\xB4\xF4\x42",                          // 17 呆B
    "\xC8\xD5",                              // 18 日
    "\xB9\xB2\xB2\xFA\xB5\xB3",              // 19 共产党
    "\xB7\xA8\xC2\xD6\xB9\xA6",              // 20 法轮功
    "\xD5\xC5\xC4\xB3\xC4\xB3",              // 21 张某某 (placeholder name)
    "\xBC\xFA",                              // 22 贱
    "\xBB\xEC\xB5\xB0",                      // 23 混蛋
    "\xC0\xEE\xC4\xB3\xC4\xB3",              // 24 李某某 (placeholder name)
    "\xCD\xF5\xC4\xB3\xC4\xB3",              // 25 王某某 (placeholder name)
    "\x66\x75\x63\x6B",                      // 26 fuck
    "\x66\x75\x63\x6B\x20\x79\x6F\x75",      // 27 fuck you
    "\x73\x63\x72\x69\x70\x74",              // 28 script
    "\x35\x31\x37\x38\x36",                  // 29 51786
    "\xA3\xB5\xA3\xB1\xA3\xB7\xA3\xB8\xA3\xB6",  // 30 ５１７８６
    "\x35\xA3\xB1\xA3\xB7\xA3\xB8\xA3\xB6",  // 31 5１７８６
    "\x35\x31\xA3\xB7\xA3\xB8\xA3\xB6",      // 32 51７８６
    "\x35\x31\x37\xA3\xB8\xA3\xB6",          // 33 517８６
    "\x35\x31\x37\x38\xA3\xB6",              // 34 5178６
    "\x2E\x63\x6F\x6D",                      // 35 .com
    "\x2E\x63\x6E",                          // 36 .cn
    "\x2E\x6E\x65\x74",                      // 37 .net
    "\x2E\x6F\x72\x67",                      // 38 .org
    "\x2E\x61\x73\x69\x61",                  // 39 .asia
    "\x2E\x63\x6E\x2E\x63\x6F\x6D",          // 40 .cn.com
    "\x2E\x63\x6E\x2E\x6E\x65\x74",          // 41 .cn.net
    "\x2E\x63\x6E\x2E\x6E\x61\x6D\x65",      // 42 .cn.name
    "\x2E\x6D\x6F\x62\x69",                  // 43 .mobi
    "\x2E\x62\x69\x7A",                      // 44 .biz
    "\x2E\x63\x63",                          // 45 .cc
    "\x2E\x74\x76",                          // 46 .tv
    "\x2E\x68\x6B",                          // 47 .hk
    "\x2E\x69\x6E\x66\x6F",                  // 48 .info
    "\x2E\xD6\xD0\xB9\xFA\x28\x2E\x63\x6E\x29",  // 49 .中国(.cn)
    "\x2E\xB9\xAB\xCB\xBE",                  // 50 .公司
    "\x2E\x6E\x61\x6D\x65",                  // 51 .name
    "\x3C\x61",                              // 52 <a
    "\x3C\x69\x6D\x67",                      // 53 <img
    "\x3C\x66\x6F\x6E\x67",                  // 54 <fong
};

}  // namespace Tavrin
