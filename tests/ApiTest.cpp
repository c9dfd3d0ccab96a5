// The two exported functions in process: the behaviour cases every host runs
// (HostCases.h, shared with the Windows hosts), again after the host has
// switched to a locale that folds other bytes, and the word list a first
// call with a null text fills.
#include "Tavrin.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "HostCases.h"
#include "matching/BannedWordTable.h"
#include "matching/WordList.h"

namespace {

std::string failures;
void Collect(const char* text) { failures += text; }

void RunEveryCase(Tavrin::Host::Checks& checks) {
  Tavrin::Host::RunBehaviourCases(&Tavrin::IsValid, &Tavrin::Filtrate, checks);
  Tavrin::Host::RunTableRows(&Tavrin::IsValid, Tavrin::BannedWordTable,
                             Tavrin::kBannedWordCount, checks);
}

TEST(Api, NullTextIsValidAndFillsTheList) {
  EXPECT_TRUE(Tavrin::IsValid(nullptr));
  EXPECT_EQ(Tavrin::WordList.size(), Tavrin::kBannedWordCount);
}

TEST(Api, EveryHostCase) {
  failures.clear();
  Tavrin::Host::Checks checks(Collect);
  RunEveryCase(checks);
  EXPECT_GT(checks.count(), 2 * static_cast<int>(Tavrin::kBannedWordCount));
  EXPECT_EQ(checks.failures(), 0) << failures;
}

// The cases hold bytes a Latin-1 or Turkish locale would fold, and letters
// whose case Turkish maps differently; the verdicts must not move.
TEST(Api, EveryHostCaseUnderAnotherLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  const char* chosen = nullptr;
  for (const char* name : {"tr_TR", "tr_TR.ISO-8859-9", "tr_TR.UTF-8",
                           "de_DE.ISO-8859-1", "en_US.ISO-8859-1", "C.UTF-8"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      chosen = name;
      break;
    }
  }
  ASSERT_NE(chosen, nullptr) << "no locale besides C on this machine";
  failures.clear();
  Tavrin::Host::Checks checks(Collect);
  RunEveryCase(checks);
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(checks.failures(), 0) << chosen << ": " << failures;
}

}  // namespace
