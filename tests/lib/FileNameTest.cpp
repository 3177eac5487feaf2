// qzcFileName pieces and the library-directory search.
#include "lib/qzcFileName.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::TempDir;
using testsupport::WriteText;

TEST(FileNamePieces, AllPiecesOfADottedPath)
{
    const qzcFileName name("dir/sub/name.ext.gz");
    EXPECT_EQ("dir/sub/", name.GetDirectory());
    EXPECT_EQ("name.ext.gz", name.GetName());
    EXPECT_EQ("gz", name.GetExtension());
    EXPECT_EQ("name.ext", name.GetNameWithoutExtension());
}

TEST(FileNamePieces, ColonAndBackslashSeparateDirectories)
{
    const qzcFileName dos("C:\\images\\ct.dcm");
    EXPECT_EQ("C:\\images\\", dos.GetDirectory());
    EXPECT_EQ("ct.dcm", dos.GetName());
    const qzcFileName volume("disk:ct");
    EXPECT_EQ("disk:", volume.GetDirectory());
    EXPECT_EQ("ct", volume.GetName());
    EXPECT_EQ("", volume.GetExtension());
}

TEST(FileNamePieces, NamesWithoutDirectoryOrExtension)
{
    const qzcFileName bare("ct");
    EXPECT_EQ("", bare.GetDirectory());
    EXPECT_EQ("ct", bare.GetName());
    EXPECT_EQ("", bare.GetExtension());
    EXPECT_EQ("ct", bare.GetNameWithoutExtension());

    const qzcFileName folder("out/");
    EXPECT_EQ("out/", folder.GetDirectory());
    EXPECT_EQ("", folder.GetName());

    const qzcFileName hidden(".profile");
    EXPECT_EQ("profile", hidden.GetExtension());
    EXPECT_EQ("", hidden.GetNameWithoutExtension());
}

TEST(FileNamePieces, DotOfADirectoryIsNoExtension)
{
    const qzcFileName name("series.1/image");
    EXPECT_EQ("", name.GetExtension());
    EXPECT_EQ("image", name.GetNameWithoutExtension());
    EXPECT_EQ("series.1/", name.GetDirectory());
}

namespace {

// Points HOME at a folder (or unsets it) and changes the working folder for
// the life of the object.
class LibrarySearchScope
{
public:
    LibrarySearchScope(const char* home, const std::string& workingFolder)
    {
        const char* oldHome = std::getenv("HOME");
        hadHome = oldHome != nullptr;
        if (hadHome)
            savedHome = oldHome;
        if (home)
            setenv("HOME", home, 1);
        else
            unsetenv("HOME");
        char buffer[4096];
        if (getcwd(buffer, sizeof buffer))
            savedFolder = buffer;
        EXPECT_EQ(0, chdir(workingFolder.c_str()));
    }
    ~LibrarySearchScope()
    {
        if (hadHome)
            setenv("HOME", savedHome.c_str(), 1);
        else
            unsetenv("HOME");
        EXPECT_EQ(0, chdir(savedFolder.c_str()));
    }

private:
    bool hadHome = false;
    std::string savedHome;
    std::string savedFolder;
};

void MakeFolder(const std::string& path)
{
    ASSERT_EQ(0, mkdir(path.c_str(), 0755)) << path;
}

// A name unlikely to exist in any system library directory.
const char* const dictionaryName = "medconv-library-search-test.din";

} // namespace

class LibrarySearch : public testing::Test
{
protected:
    void SetUp() override
    {
        MakeFolder(home.file("lib"));
        MakeFolder(home.file("share"));
        MakeFolder(home.file("share/dicom"));
        MakeFolder(work.file("sub"));
    }

    TempDir home;
    TempDir work;
};

TEST_F(LibrarySearch, CurrentFolderComesFirstAndDirectoryIsIgnored)
{
    WriteText(work.file(dictionaryName), "current");
    WriteText(home.file(std::string("lib/") + dictionaryName), "home lib");
    LibrarySearchScope scope(home.path().c_str(), work.path());
    EXPECT_EQ(std::string("./") + dictionaryName,
              FindInLibraryDirectories(qzcFileName("/nowhere/at/all/") + dictionaryName,
                                       "dicom"));
}

TEST_F(LibrarySearch, HomeLibComesBeforeHomeShare)
{
    WriteText(home.file(std::string("lib/") + dictionaryName), "home lib");
    WriteText(home.file(std::string("share/dicom/") + dictionaryName), "home share");
    LibrarySearchScope scope(home.path().c_str(), work.path());
    EXPECT_EQ(home.path() + "/lib/" + dictionaryName,
              FindInLibraryDirectories(qzcFileName(dictionaryName), "dicom"));
}

TEST_F(LibrarySearch, HomeShareNeedsASubdirectory)
{
    WriteText(home.file(std::string("share/dicom/") + dictionaryName), "home share");
    LibrarySearchScope scope(home.path().c_str(), work.path());
    EXPECT_EQ(home.path() + "/share/dicom/" + dictionaryName,
              FindInLibraryDirectories(qzcFileName(dictionaryName), "dicom"));
    EXPECT_EQ("", FindInLibraryDirectories(qzcFileName(dictionaryName), ""));
    EXPECT_EQ("", FindInLibraryDirectories(qzcFileName(dictionaryName), "other"));
}

TEST_F(LibrarySearch, MissingEverywhereGivesAnEmptyName)
{
    LibrarySearchScope scope(home.path().c_str(), work.path());
    EXPECT_EQ("", FindInLibraryDirectories(qzcFileName(dictionaryName), "dicom"));
}

TEST_F(LibrarySearch, UnsetHomeStillSearchesTheOtherCandidates)
{
    WriteText(work.file(dictionaryName), "current");
    LibrarySearchScope scope(nullptr, work.path());
    EXPECT_EQ(std::string("./") + dictionaryName,
              FindInLibraryDirectories(qzcFileName(dictionaryName), "dicom"));
    EXPECT_EQ("", FindInLibraryDirectories(qzcFileName("missing-") + dictionaryName, "dicom"));
}
