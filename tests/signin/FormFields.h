// The parameters of a query or form body, for checking what was sent.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "signin/OAuth.h"

namespace buzonix {

// Each name with its value; a name given twice, a broken escape or a bare
// name fails the test.
inline std::map<std::string, std::string> FormFields(const std::string& form) {
  std::map<std::string, std::string> fields;
  std::size_t at = 0;
  while (at <= form.size()) {
    const std::size_t end = std::min(form.find('&', at), form.size());
    const std::string pair = form.substr(at, end - at);
    const std::size_t equals = pair.find('=');
    EXPECT_NE(equals, std::string::npos) << form;
    const auto name = FormUnescape(pair.substr(0, equals));
    const auto value = FormUnescape(equals == std::string::npos ? "" : pair.substr(equals + 1));
    EXPECT_TRUE(name && value) << pair;
    if (name && value) {
      EXPECT_TRUE(fields.emplace(*name, *value).second) << "twice: " << *name;
    }
    at = end + 1;
  }
  return fields;
}

// The query's fields of a URL.
inline std::map<std::string, std::string> QueryFields(const std::string& url) {
  const std::size_t question = url.find('?');
  EXPECT_NE(question, std::string::npos) << url;
  return question == std::string::npos ? std::map<std::string, std::string>{} : FormFields(url.substr(question + 1));
}

}  // namespace buzonix
