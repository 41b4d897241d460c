// Item lists written in runs on several threads: the same bytes as one thread writes, in order,
// at every length around the run boundaries; failures reach the caller; a whole scene of mixed
// objects saves the same whether written in runs or in one go.
#include "scene/runwriter.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <atomic>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

#include "scene/readerxml.h"
#include "scene/rendersettings.h"
#include "scene/scenedata.h"

namespace {

constexpr size_t kRun = Reader::kWriteRunItems;

// Item i's text: its number and a character outside ASCII, so that the runs' UTF-8 and the
// stream's encoding must agree.
void writeNumbers(size_t begin, size_t end, QTextStream& out) {
    for (size_t i = begin; i < end; ++i) out << "item " << i << QChar(0x00e9) << '\n';
}

QByteArray inOneGo(size_t count) {
    QString text;
    QTextStream out(&text);  // no device: always written in one go
    out << "head\n";
    writeNumbers(0, count, out);
    out << "tail\n";
    out.flush();
    return text.toUtf8();
}

// Also gives the threads that wrote items.
QByteArray inRuns(size_t count, int threads, std::set<std::thread::id>* writers = nullptr) {
    QByteArray text;
    QTextStream out(&text, QIODevice::WriteOnly);
    out << "head\n";
    std::mutex lock;
    Reader::writeInRuns(
        count, out,
        [&](size_t begin, size_t end, QTextStream& o) {
            if (writers) {
                const std::lock_guard<std::mutex> guard(lock);
                writers->insert(std::this_thread::get_id());
            }
            writeNumbers(begin, end, o);
        },
        threads);
    out << "tail\n";
    out.flush();
    return text;
}

}  // namespace

TEST(WriteInRuns, WritesTheSameBytesAsOneThread) {
    const size_t counts[] = {0, 1, 2 * kRun - 1, 2 * kRun, 2 * kRun + 1, 3 * kRun, 7 * kRun + 5};
    for (size_t count : counts) {
        const QByteArray expected = inOneGo(count);
        for (int threads : {1, 2, 3, 5}) {
            std::set<std::thread::id> writers;
            const QByteArray written = inRuns(count, threads, &writers);
            EXPECT_EQ(written.size(), expected.size()) << count << " items, " << threads;
            EXPECT_TRUE(written == expected) << count << " items, " << threads << " threads";
            // Lists of two runs or more are shared out; shorter ones, or one thread, stay here.
            if (threads > 1 && count >= 2 * kRun) {
                EXPECT_GT(writers.size(), 1u) << count << " items, " << threads << " threads";
            } else {
                EXPECT_TRUE(writers.empty() ||
                            (writers.size() == 1 && *writers.begin() == std::this_thread::get_id()))
                    << count << " items, " << threads << " threads";
            }
        }
    }
}

TEST(WriteInRuns, AnItemsFailureReachesTheCaller) {
    const size_t count = 5 * kRun;
    for (size_t failing : {size_t(0), kRun + 3, count - 1}) {
        QByteArray text;
        QTextStream out(&text, QIODevice::WriteOnly);
        const auto writeItems = [&](size_t begin, size_t end, QTextStream& o) {
            for (size_t i = begin; i < end; ++i) {
                if (i == failing) throw std::runtime_error("item failed");
                o << i << '\n';
            }
        };
        EXPECT_THROW(Reader::writeInRuns(count, out, writeItems, 3), std::runtime_error) << failing;
    }
}

// A text no longer wanted: with the flag set before, nothing is written; set while the first
// run is written, the writer stops before the next wave on any number of threads; without a
// WriteStop in scope, or with its flag never set, every item is written.
TEST(WriteInRuns, AWriteStopEndsTheWritingWithinAWave) {
    const size_t count = 9 * kRun + 7;
    for (int threads : {1, 2, 3}) {
        SCOPED_TRACE(threads);
        for (const char* when : {"before", "during", "never", "out of scope"}) {
            SCOPED_TRACE(when);
            std::atomic<bool> stop{std::string(when) == "before"};
            std::atomic<size_t> written{0};
            const auto writeItems = [&](size_t begin, size_t end, QTextStream& out) {
                if (begin == 0 && std::string(when) == "during") stop = true;
                for (size_t i = begin; i < end; ++i) out << i << '\n';
                written += end - begin;
            };
            QByteArray text;
            QTextStream out(&text, QIODevice::WriteOnly);
            if (std::string(when) == "out of scope") {
                { const Reader::WriteStop stopping(stop); }
                stop = true;
                Reader::writeInRuns(count, out, writeItems, threads);
                EXPECT_EQ(written, count);
                continue;
            }
            const Reader::WriteStop stopping(stop);
            if (std::string(when) == "never") {
                Reader::writeInRuns(count, out, writeItems, threads);
                EXPECT_EQ(written, count);
                continue;
            }
            EXPECT_THROW(Reader::writeInRuns(count, out, writeItems, threads),
                         Reader::WriteStopped);
            EXPECT_LE(written, size_t(threads) * kRun);
            if (std::string(when) == "before") {
                EXPECT_EQ(written, 0u);
            }
        }
    }
}

// Spheres, boxes and planes interleaved and in blocks of one kind, longer than two runs: the
// scene written through a byte stream (in runs) and through a string (in one go) agree.
TEST(WriteInRuns, ASceneSavesAlikeInRunsAndInOneGo) {
    QByteArray file = "<tavolinfile>\n";
    const char* kinds[] = {
        "<sphere><name>s%1</name><center>%1;0.5;-2;0</center><radius>0.25</radius>"
        "<texname>t</texname></sphere>\n",
        "<cube><name>c%1</name><pos>%1;1;1;0</pos><texxy>t</texxy><texyz>t</texyz>"
        "<texzx>t</texzx></cube>\n",
        "<plane><pos>0;%1;0;0</pos><texname>t</texname></plane>\n",
    };
    const int count = int(3 * kRun);
    for (int i = 0; i < count; ++i) {
        const int half = count / 2;
        const int kind = i < half ? i % 3 : (i - half) * 3 / (count - half);
        file += QString::fromLatin1(kinds[kind]).arg(i).toUtf8();
    }
    file += "</tavolinfile>\n";
    RenderSettings settings;
    SceneData scene;
    Reader::ReaderXml writer;
    writer.registerSettings(&settings);
    writer.registerScene(&scene);
    ASSERT_TRUE(writer.parseText(file)) << writer.errorText().toStdString();
    ASSERT_EQ(scene.objects.items.size(), size_t(count));

    QByteArray bytes;
    QTextStream byteStream(&bytes, QIODevice::WriteOnly);
    writer.write(byteStream);
    byteStream.flush();
    QString string;
    QTextStream stringStream(&string);
    writer.write(stringStream);
    stringStream.flush();
    EXPECT_TRUE(bytes == string.toUtf8());
    EXPECT_GT(bytes.count("<sphere>"), count / 3 - 2);
}
