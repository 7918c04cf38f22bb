// Saves killed at any moment: a child process stores the default bank (the
// settings store's UserBank value, as close does) and saves a bank file,
// alternating between two banks, until the parent kills it with SIGKILL at
// a random moment. Afterwards both the stored bank and the bank file must be
// exactly one of the two banks, and both must load.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

#include "host/program_chunk.h"
#include "platform/registry_store.h"
#include "tests/campaign/campaign_host.h"

namespace {

const std::string kDataKey = "software\\TalvexBass\\Data";
const std::string kSettingsKey = "software\\TalvexBass\\Settings";

int killsWanted() {
    const char* text = std::getenv("TALVEX_CAMPAIGN_KILLS");
    const int n = text != nullptr ? std::atoi(text) : 0;
    return n > 0 ? n : 40;
}

// A bank of 24 programs named after `tag`, each with full edit patterns, so
// that one save takes long enough to be interrupted in the middle.
std::vector<uint8_t> makeBank(char tag) {
    std::vector<ProgramRecord> records(kNumUserPrograms);
    for (int r = 0; r < kNumUserPrograms; ++r) {
        ProgramRecord& record = records[static_cast<size_t>(r)];
        std::snprintf(record.programName, sizeof(record.programName), "%c%i", tag, r);
        std::snprintf(record.projectName, sizeof(record.projectName), "ACIDLINE");
        for (int t = 0; t < kProgramTracks; ++t) {
            auto pattern = std::make_unique<ProgramPattern>();
            pattern->lengthSteps = 64.0f;
            for (int n = 0; n < 200; ++n)
                pattern->notes.push_back(ProgramNote{static_cast<float>(n % 64), 1.0f, 36 + (n + tag) % 48, 100});
            record.editPatterns[t] = std::move(pattern);
        }
    }
    return buildProgramChunk(records.data(), kNumUserPrograms, false);
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

enum class Save { DefaultBank, BankFile };

// The child: saves the two banks in turn, one way, until it is killed. It
// reports on the pipe once the first two saves are complete.
[[noreturn]] void saveForever(Save how, const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
                              const std::string& bankFile, int ready) {
    AEffect* effect = VSTPluginMain(&TestHost::callback);
    if (effect == nullptr) _exit(2);
    Effect* main = campaign::mainObject(effect);
    main->settings().saveDefaultBank = true;
    for (long n = 0;; ++n) {
        std::vector<uint8_t> bank = n % 2 == 0 ? a : b;
        main->setChunk(bank.data(), static_cast<VstInt32>(bank.size()), false);
        if (how == Save::DefaultBank)
            main->close();  // the settings and the default bank
        else if (main->saveBankFile(bankFile).empty())
            _exit(3);
        if (n == 1) {
            const char c = 1;
            if (write(ready, &c, 1) != 1) _exit(4);
        }
    }
}

TEST(BankSaveKill, AKilledSaveLeavesTheOldOrTheNewBankNeverATornOne) {
    const std::string folder = campaign::useFreshSettingsFolder("kill");
    TestHost host;
    const std::vector<uint8_t> a = makeBank('A');
    const std::vector<uint8_t> b = makeBank('B');
    ASSERT_NE(a, b);
    const std::string bankFile = folder + "/user.fxb";
    std::mt19937 random(9);
    const int kills = killsWanted();
    int storedA = 0, storedB = 0, fileA = 0, fileB = 0;
    // Both files exist before the first kill.
    ASSERT_TRUE(platform::RegistryStore::writeBinary(kDataKey, "UserBank", a.data(), a.size()));
    ASSERT_TRUE(platform::RegistryStore::writeDword(kSettingsKey, "SaveDefaultBank", 1));
    {
        std::ofstream out(bankFile, std::ios::binary);
        out.write(reinterpret_cast<const char*>(a.data()), static_cast<std::streamsize>(a.size()));
    }
    for (int k = 0; k < kills; ++k) {
        // Odd kills interrupt bank-file saves, even ones default-bank stores,
        // so that each kind of save fills its child's whole time.
        const Save how = k % 2 == 0 ? Save::DefaultBank : Save::BankFile;
        int pipeEnds[2];
        ASSERT_EQ(pipe(pipeEnds), 0);
        std::fflush(nullptr);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(pipeEnds[0]);
            saveForever(how, a, b, bankFile, pipeEnds[1]);
        }
        close(pipeEnds[1]);
        char c = 0;
        ASSERT_EQ(read(pipeEnds[0], &c, 1), 1) << "the saving child died before it was killed";
        close(pipeEnds[0]);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 100000));
        ASSERT_EQ(kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself with status " << status;

        std::vector<uint8_t> stored;
        ASSERT_TRUE(platform::RegistryStore::readBinary(kDataKey, "UserBank", stored)) << "kill " << k;
        ASSERT_TRUE(stored == a || stored == b) << "kill " << k << ": a torn default bank of " << stored.size()
                                                << " bytes";
        if (how == Save::DefaultBank) (stored == a ? storedA : storedB) += 1;
        uint32_t v = 0;
        ASSERT_TRUE(platform::RegistryStore::readDword(kSettingsKey, "SaveDefaultBank", v)) << "kill " << k;
        const std::vector<uint8_t> file = readFile(bankFile);
        ASSERT_TRUE(file == a || file == b) << "kill " << k << ": a torn bank file of " << file.size() << " bytes";
        if (how == Save::BankFile) (file == a ? fileA : fileB) += 1;
    }
    // The banks that survived load.
    AEffect* effect = VSTPluginMain(&TestHost::callback);
    ASSERT_NE(effect, nullptr);
    EXPECT_TRUE(campaign::mainObject(effect)->loadBankFile(bankFile));
    char name[kVstMaxProgNameLen + 1] = {};
    effect->dispatcher(effect, effGetProgramNameIndexed, 3, 0, name, 0.0f);
    EXPECT_TRUE(std::string(name) == "A3" || std::string(name) == "B3") << name;

    auto temporaries = [&folder] {
        size_t n = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
            if (entry.path().filename().string().find(".tmp.") != std::string::npos) ++n;
        return n;
    };
    const size_t leftovers = temporaries();
    // The next successful saves clear what the killed ones left.
    Effect* main = campaign::mainObject(effect);
    main->settings().saveDefaultBank = true;
    EXPECT_EQ(main->saveBankFile(bankFile), bankFile);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    std::printf("[ figures  ] %d kills: default bank A %d, B %d times; bank file A %d, B %d times; %zu temporary "
                "files left by killed saves\n",
                kills, storedA, storedB, fileA, fileB, leftovers);
    EXPECT_EQ(temporaries(), 0u);
}

}  // namespace
