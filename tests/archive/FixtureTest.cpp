// Reads every archive of the shared fixture set and checks each entry against MANIFEST.tsv:
// listing fields, extraction to the recorded SHA-256, and the expected failures of the damaged
// archives.
#include "ArchiveTestSupport.h"

#include "archive/CodePage.h"
#include "archive/ZipErrors.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

namespace glyptor::archive::test {
namespace {

struct ManifestRow {
    std::string Archive, Entry, Method, Flags, CompressedSize, UncompressedSize, Crc32, Sha256,
        Password, Status, UnzipT, Note;
};

std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x') {
            out += static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::map<std::string, std::vector<ManifestRow>> ReadManifest() {
    std::map<std::string, std::vector<ManifestRow>> archives;
    std::ifstream in(FixtureDir() / "MANIFEST.tsv");
    std::string line;
    std::getline(in, line); // header
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream ss(line);
        std::string field;
        while (std::getline(ss, field, '\t'))
            f.push_back(field);
        if (f.size() < 12)
            continue;
        ManifestRow r{f[0], Unescape(f[1]), f[2], f[3], f[4],  f[5],
                      f[6], f[7],           f[8], f[9], f[10], f[11]};
        archives[r.Archive].push_back(r);
    }
    return archives;
}

// The name as the reader lists it.
std::string ListedName(const std::string& stored) {
    std::string name = stored;
    for (char& c : name)
        if (c == '/')
            c = '\\';
    return OemToAnsi(name);
}

int FindEntry(TZipReader& reader, const std::string& listedName) {
    for (int i = 0; i < reader.EntryCount(); ++i)
        if (reader.EntryName(i) == listedName)
            return i;
    return -1;
}

class FixtureTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(FixtureDir() / "MANIFEST.tsv"))
            GTEST_SKIP() << "fixture folder " << FixtureDir() << " is absent";
        Messages.clear();
    }

    // Readers of these tests report their messages into Messages.
    std::unique_ptr<TZipReader> OpenArchive(const Bytes& archive) {
        auto reader = test::OpenArchive(archive);
        reader->UserInterface.MessageBox = [this](const std::string& text,
                                                  const std::string& caption) {
            Messages.push_back(caption + "|" + text);
        };
        return reader;
    }

    // Checks listing and content of every row of one archive; reader has its directory.
    void CheckRows(TZipReader& reader, const std::vector<ManifestRow>& rows, bool allowCut) {
        int64_t size = reader.ArchiveStream()->Size();
        for (const ManifestRow& row : rows) {
            if (row.Entry == "-")
                continue;
            SCOPED_TRACE(row.Archive + " / " + row.Entry);
            std::string name = ListedName(row.Entry);
            int index = FindEntry(reader, name);
            ASSERT_GE(index, 0) << "entry not listed";
            const TZipHeaderInfo& e = reader.Entry(index);
            EXPECT_EQ(std::to_string(e.CompressionMethod), row.Method);
            EXPECT_EQ(e.Crc32, std::stoul(row.Crc32, nullptr, 16));
            EXPECT_EQ(static_cast<uint32_t>(e.UncompressedSize), std::stoul(row.UncompressedSize));
            if (e.FileName().empty())
                continue; // folder entries are never selected
            if (row.Status == "unsupported") {
                Bytes data;
                Messages.clear();
                EXPECT_EQ(Extract(reader, name, data), 0);
                EXPECT_TRUE(data.empty());
                ASSERT_EQ(Messages.size(), 1u);
                EXPECT_EQ(Messages[0], "Zip Error|Unknown Compression Method");
                continue;
            }
            bool beyondEnd = int64_t{e.LocalHeaderOffset} + e.LocalSize() +
                                 static_cast<uint32_t>(e.CompressedSize) >
                             size;
            if (beyondEnd) {
                TMemoryStream target;
                EXPECT_TRUE(allowCut || row.Status == "premature-eof");
                try {
                    reader.ExtractToStream(target, name);
                    ADD_FAILURE() << "extraction past the end did not raise";
                } catch (const EFatalUnzipError& error) {
                    EXPECT_STREQ(error.what(), "Premature end of file reached");
                }
                continue;
            }
            if (row.Password != "-")
                reader.Password = row.Password == "(empty)" ? "" : row.Password;
            // Names without a folder select that file name in every folder.
            int expected = 0;
            if (name.find('\\') == std::string::npos) {
                for (int i = 0; i < reader.EntryCount(); ++i)
                    expected += reader.Entry(i).FileName() == name;
            } else {
                expected = 1;
            }
            Bytes data;
            EXPECT_EQ(Extract(reader, name, data), expected);
            if (expected == 1) {
                EXPECT_EQ(Sha256Hex(data), row.Sha256);
            }
            reader.Password.clear();
        }
    }

    std::vector<std::string> Messages;
};

TEST_F(FixtureTest, EveryArchiveListsAndExtractsAsTheManifestSays) {
    auto manifest = ReadManifest();
    ASSERT_GT(manifest.size(), 40u);
    for (const auto& [archiveName, rows] : manifest) {
        SCOPED_TRACE(archiveName);
        Bytes bytes = ReadFileBytes(FixtureDir() / archiveName);
        const std::string& status = rows.front().Status;
        size_t entryRows = rows.front().Entry == "-" ? 0 : rows.size();
        if (status == "incomplete") {
            auto reader = OpenArchive(bytes);
            try {
                reader->ReadDirectory();
                ADD_FAILURE() << "incomplete archive read without error";
            } catch (const EIncompleteZip& error) {
                EXPECT_STREQ(error.what(), "Incomplete Zip File");
            }
            reader->IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
            reader->ReadDirectory();
            EXPECT_TRUE(reader->Rebuilt());
            EXPECT_EQ(static_cast<size_t>(reader->EntryCount()), entryRows);
            CheckRows(*reader, rows, archiveName.find("cut") != std::string::npos);
            continue;
        }
        auto reader = OpenArchive(bytes);
        reader->ReadDirectory();
        EXPECT_EQ(reader->Rebuilt(), status == "recover");
        EXPECT_EQ(static_cast<size_t>(reader->EntryCount()), entryRows);
        CheckRows(*reader, rows, false);
    }
}

TEST_F(FixtureTest, EncryptedEntriesWithTheWrongPasswordAreSkipped) {
    Bytes bytes = ReadFileBytes(FixtureDir() / "encrypted_secret.zip");
    auto reader = OpenArchive(bytes);
    std::vector<int> skipped;
    reader->OnSkippingFile = [&](TZipReader*, TSkipReason reason, int index) {
        EXPECT_EQ(reason, TSkipReason::BadPassword);
        skipped.push_back(index);
    };
    Bytes data;
    EXPECT_EQ(Extract(*reader, "*", data), 0);
    EXPECT_EQ(skipped.size(), 2u);
    EXPECT_TRUE(data.empty());

    // A password offered by the hook is tried at once.
    skipped.clear();
    reader->OnBadPassword = [](TZipReader*, int, std::string& password) { password = "secret"; };
    EXPECT_EQ(Extract(*reader, "*", data), 2);
    EXPECT_TRUE(skipped.empty());
    EXPECT_EQ(reader->Password, "secret");
}

TEST_F(FixtureTest, CommentsOfInfoZipArchive) {
    auto reader = OpenArchive(ReadFileBytes(FixtureDir() / "comments_infozip.zip"));
    reader->ReadDirectory();
    EXPECT_EQ(reader->ArchiveComment(), "Fixture set A archive comment\r\nsecond line");
    int title = FindEntry(*reader, "Title1.bmp");
    int layout = FindEntry(*reader, "gy3layout.txt");
    EXPECT_EQ(reader->EntryComment(title), "Title bitmap");
    EXPECT_EQ(reader->EntryComment(layout), "Layout file");
    EXPECT_FALSE(reader->EndCentral().Modified);
}

TEST_F(FixtureTest, EndRecordSearchNearTheEnd) {
    // The signature's bytes at the very end of the comment lie where the search never looks.
    auto tail = OpenArchive(ReadFileBytes(FixtureDir() / "comment_sig_in_tail_a.zip"));
    tail->ReadDirectory();
    EXPECT_EQ(tail->EntryCount(), 3);
    std::string comment = tail->ArchiveComment();
    ASSERT_GE(comment.size(), 7u);
    EXPECT_EQ(comment.substr(comment.size() - 7, 4), std::string("PK\x05\x06", 4));

    // A complete copy of the end record inside the comment wins, being nearer the end.
    auto copy = OpenArchive(ReadFileBytes(FixtureDir() / "comment_with_eocd_copy_a.zip"));
    copy->ReadDirectory();
    EXPECT_EQ(copy->EntryCount(), 3);
    EXPECT_EQ(copy->ArchiveComment(), "");
}

TEST_F(FixtureTest, OemNamesAreShownInTheAnsiPage) {
    auto reader = OpenArchive(ReadFileBytes(FixtureDir() / "oem_cp866_names_own.zip"));
    reader->ReadDirectory();
    // Темы\Заголовок.bmp in CP1251.
    std::string expected = "\xD2\xE5\xEC\xFB\\\xC7\xE0\xE3\xEE\xEB\xEE\xE2\xEE\xEA.bmp";
    EXPECT_GE(FindEntry(*reader, expected), 0);
    Bytes data;
    EXPECT_EQ(Extract(*reader, expected, data), 1);
}

} // namespace
} // namespace glyptor::archive::test
