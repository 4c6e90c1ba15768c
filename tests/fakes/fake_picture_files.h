#pragma once

#include <QFile>
#include <QImage>
#include <QString>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "platform/image_encoder.h"
#include "platform/picture_store.h"

namespace ornavex {

struct RecordedWrite {
    QString format;  // "jpeg" or "bmp"
    QString path;
    QImage picture;
    int quality = 0;
    ReplacePolicy policy = ReplacePolicy::KeepExisting;
};

// Writes a small marker file so that existence checks see the stored page,
// honours the replace policy, and fails on demand.
class FakePageWriter {
  public:
    std::vector<RecordedWrite> writes;
    // Every write fails so.
    std::optional<PageWriteResult> failWith;
    // The next writes fail so, one each, before failWith is looked at.
    std::deque<PageWriteResult> failNext;

    PageWriteResult write(RecordedWrite request) {
        writes.push_back(request);
        if (!failNext.empty()) {
            const PageWriteResult next = failNext.front();
            failNext.pop_front();
            return next;
        }
        if (failWith) return *failWith;
        if (request.picture.isNull()) return {PageWriteStatus::NoPicture, 0};
        if (request.policy == ReplacePolicy::KeepExisting && QFile::exists(request.path)) {
            return {PageWriteStatus::AlreadyExists, 0};
        }
        QFile file(request.path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return {PageWriteStatus::WriteFailed, 2};
        }
        file.write(request.format.toUtf8());
        return {};
    }
};

class FakeImageEncoder : public ImageEncoder {
  public:
    explicit FakeImageEncoder(FakePageWriter& writer) : writer_(writer) {}
    PageWriteResult writeJpeg(const QImage& picture, const QString& path, int quality,
                              ReplacePolicy policy) override {
        return writer_.write({QStringLiteral("jpeg"), path, picture, quality, policy});
    }

  private:
    FakePageWriter& writer_;
};

class FakePictureStore : public PictureStore {
  public:
    explicit FakePictureStore(FakePageWriter& writer) : writer_(writer) {}
    // Pictures that load() finds; every other path is no picture.
    std::map<QString, QImage> pictures;
    std::vector<QString> loads;

    std::optional<QImage> load(const QString& path) override {
        loads.push_back(path);
        const auto found = pictures.find(path);
        if (found == pictures.end()) return std::nullopt;
        return found->second;
    }
    PageWriteResult saveBitmap(const QImage& picture, const QString& path,
                               ReplacePolicy policy) override {
        return writer_.write({QStringLiteral("bmp"), path, picture, 0, policy});
    }

  private:
    FakePageWriter& writer_;
};

}  // namespace ornavex
