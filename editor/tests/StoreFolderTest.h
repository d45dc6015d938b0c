// A test with a job store of its own in a fresh folder: the hosts it starts
// inherit the store's file name, the folder goes at the end.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "runner/tests/ProcessDriver.h"
#include "runner/tests/TestStore.h"

namespace kestreltest {

class CStoreFolderTest : public ::testing::Test {
protected:
    explicit CStoreFolderTest(const char* stem) : m_pszStem(stem) {}

    void SetUp() override {
        m_folder = NewTempFolder(m_pszStem);
        ASSERT_FALSE(m_folder.empty());
        m_store.Open(m_folder);
    }
    void TearDown() override {
        m_store.Close();
        RemoveTree(m_folder);
    }

    // The job as committed in the store file now.
    CComPtr<IJobData> Committed(long number) {
        ThrowIfFailed(m_store.m_pStore->Load(), IID_IJobStore);
        return m_store.Job(number);
    }
    std::string StoreFile() { return ReadFileText(m_folder + "\\Taskstore.reg"); }

    std::string m_folder;
    CTestStore m_store;

private:
    const char* m_pszStem;
};

} // namespace kestreltest
