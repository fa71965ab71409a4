#pragma once
#include <exception>
#include <optional>

#include <gtest/gtest.h>

#include "tests/common/RegistrySandbox.h"

// The fixture of every suite whose cases run against the registry: each case
// gets a sandbox of its own. A sandbox that cannot be made fails the case
// before its body runs, since the body would write to the real registry. The
// sandbox goes with the fixture object, so after everything a derived
// fixture holds. A derived SetUp that works in the registry calls this one
// first and returns when it failed.
class SandboxedTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        try {
            m_sandbox.emplace();
        } catch (const std::exception& e) {
            FAIL() << e.what();
        }
    }

    const CRegistrySandbox& Sandbox() const { return *m_sandbox; }

private:
    std::optional<CRegistrySandbox> m_sandbox;
};
