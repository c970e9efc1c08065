// Written apart, the stand-in's messages and the client's table must agree on every code.
#include "client/return_codes.h"
#include "quorra-standin/soap_response.h"

#include <gtest/gtest.h>

TEST(ReturnMessages, StandinAndClientAgreeOnEveryCode) {
    for (const char* code : {"0000", "1001", "1002", "1003", "1004", "1005", "1006", "2001",
                             "2002", "2003", "2004", "2005", "2006", "2007", "2008", "3001",
                             "3002", "3003", "3004", "3005", "9999", "42", ""})
        EXPECT_EQ(kqc::standin::ServiceMessage(code), kqc::ReturnCodeText(code)) << code;
}
