// The order in which a save reaches the disk: the new bytes go to a
// temporary file beside the target, that file is flushed and closed before
// it is renamed over the target, and the folder is flushed after the rename;
// the target itself is never opened for writing (a kill or a power cut in
// between would leave it empty or half written). Checked on the calls the
// settings store and the bank-file save make.
#include <gtest/gtest.h>

#include <fcntl.h>

#include <algorithm>

#include "platform/registry_store.h"
#include "tests/campaign/campaign_host.h"
#include "tests/campaign/file_call_log.h"

namespace {

using file_calls::Call;

std::string describe(const std::vector<Call>& calls) {
    std::string text;
    for (const Call& c : calls)
        text += "  " + c.op + " fd " + std::to_string(c.fd) + " " + c.from + (c.from.empty() ? "" : " -> ") + c.path +
                "\n";
    return text;
}

// Checks one replacement of `target` in the recorded calls.
void expectAtomicReplacement(const std::vector<Call>& calls, const std::string& target) {
    SCOPED_TRACE(describe(calls));
    auto at = [&calls](auto predicate) {
        return static_cast<long>(std::find_if(calls.begin(), calls.end(), predicate) - calls.begin());
    };
    const long end = static_cast<long>(calls.size());
    const long rename = at([&](const Call& c) { return c.op == "rename" && c.path == target; });
    ASSERT_LT(rename, end) << "no rename onto " << target;
    const std::string temporary = calls[static_cast<size_t>(rename)].from;
    EXPECT_NE(temporary, target);
    EXPECT_EQ(temporary.rfind(target, 0), 0u) << "the temporary file is not beside the target";
    const long opened = at([&](const Call& c) { return c.op == "open" && c.path == temporary; });
    ASSERT_LT(opened, rename);
    const int fd = calls[static_cast<size_t>(opened)].fd;
    ASSERT_GE(fd, 0);
    long lastWrite = -1, flushed = -1, closed = -1;
    for (long i = opened + 1; i < end; ++i) {
        const Call& c = calls[static_cast<size_t>(i)];
        if (c.fd != fd) continue;
        if (c.op == "write" && closed < 0) lastWrite = i;
        if (c.op == "fsync" && closed < 0) flushed = i;
        if (c.op == "close" && closed < 0) closed = i;
    }
    EXPECT_GT(lastWrite, opened) << "nothing written to the temporary file";
    EXPECT_GT(flushed, lastWrite) << "the temporary file is not flushed after its last write";
    EXPECT_GT(closed, flushed);
    EXPECT_LT(closed, rename) << "renamed before the temporary file was complete";
    // The folder is flushed after the rename.
    const std::string folder = target.substr(0, target.find_last_of('/'));
    const long folderOpen = at([&](const Call& c) {
        return &c - calls.data() > rename && c.op == "open" && c.path == folder && (c.flags & O_DIRECTORY) != 0;
    });
    ASSERT_LT(folderOpen, end) << "the folder is not opened after the rename";
    const int folderFd = calls[static_cast<size_t>(folderOpen)].fd;
    const long folderFlush = at([&](const Call& c) {
        return &c - calls.data() > folderOpen && c.op == "fsync" && c.fd == folderFd;
    });
    EXPECT_LT(folderFlush, end) << "the folder is not flushed after the rename";
    // The target is never opened for writing.
    for (const Call& c : calls) {
        if (c.op == "open" && c.path == target) {
            EXPECT_EQ(c.flags & (O_WRONLY | O_RDWR | O_TRUNC), 0);
        }
    }
}

TEST(SaveOrder, TheSettingsStoreFlushesTheNewFileBeforeTheRenameAndTheFolderAfter) {
    campaign::useFreshSettingsFolder("order_store");
    const std::string key = "software\\TalvexBass\\Data";
    const std::vector<uint8_t> bank(35204, 7);
    ASSERT_TRUE(platform::RegistryStore::writeBinary(key, "UserBank", bank.data(), bank.size()));  // the file exists
    file_calls::start();
    const bool written = platform::RegistryStore::writeBinary(key, "UserBank", bank.data(), bank.size());
    const std::vector<Call> calls = file_calls::stop();
    ASSERT_TRUE(written);
    expectAtomicReplacement(calls, platform::RegistryStore::keyFilePath(key));
}

TEST(SaveOrder, ABankFileSaveFlushesTheNewFileBeforeTheRenameAndTheFolderAfter) {
    const std::string folder = campaign::useFreshSettingsFolder("order_bank");
    TestHost host;
    AEffect* effect = VSTPluginMain(&TestHost::callback);
    ASSERT_NE(effect, nullptr);
    Effect* main = campaign::mainObject(effect);
    const std::string path = folder + "/order.fxb";
    ASSERT_EQ(main->saveBankFile(path), path);
    file_calls::start();
    const std::string saved = main->saveBankFile(path);
    const std::vector<Call> calls = file_calls::stop();
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    ASSERT_EQ(saved, path);
    expectAtomicReplacement(calls, path);
}

}  // namespace
