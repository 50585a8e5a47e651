#pragma once
// A test fixture with the two real SMTP servers the dialog tests send to, started once per test
// suite on loopback: Plain takes mail from anyone, Authenticating only after a log-on as
// "monitor" / "secret" (LOGIN or PLAIN).

#include "SmtpTestServer.h"

#include <gtest/gtest.h>

#include <memory>

template <typename Base = ::testing::Test> class WithMailServers : public Base {
protected:
    static void SetUpTestSuite() {
        Plain = std::make_unique<SmtpTestServer>();
        SmtpTestServer::Options auth;
        auth.RequireAuth = true;
        Authenticating = std::make_unique<SmtpTestServer>(auth);
    }
    static void TearDownTestSuite() {
        Plain.reset();
        Authenticating.reset();
    }
    void SetUp() override {
        Base::SetUp();
        ASSERT_TRUE(Plain->Started()) << Plain->Error();
        ASSERT_TRUE(Authenticating->Started()) << Authenticating->Error();
    }

    inline static std::unique_ptr<SmtpTestServer> Plain, Authenticating;
};
