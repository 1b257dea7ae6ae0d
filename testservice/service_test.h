#pragma once
// A GoogleTest fixture that starts one test service for a test suite, trusts its CA through
// CURL_CA_BUNDLE, and forgets scripted answers and arrivals before each test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "testservice/test_service.h"

class ServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("CURL_CA_BUNDLE", TestService::caFile().c_str(), 1);
        service_ = std::make_unique<TestService>();
    }
    static void TearDownTestSuite() { service_.reset(); }
    void SetUp() override {
        ASSERT_TRUE(service_ && service_->running()) << "the test service did not start";
        ASSERT_TRUE(service_->clear());
    }
    static TestService& service() { return *service_; }

private:
    static inline std::unique_ptr<TestService> service_;
};
