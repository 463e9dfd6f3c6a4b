#include "widgets/image_list.h"

#include <QPainter>
#include <algorithm>

namespace widgets {

TImageList::TImageList(int width, int height, QObject* parent)
    : QObject(parent), size_(std::max(width, 0), std::max(height, 0)) {}

QImage TImageList::fitted(const QImage& image) const {
  QImage converted = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  if (converted.size() != size_) {
    // Larger or smaller images are cut or padded, never stretched: a glyph
    // keeps its pixels.
    QImage padded(size_, QImage::Format_ARGB32_Premultiplied);
    padded.fill(Qt::transparent);
    QPainter painter(&padded);
    painter.drawImage(0, 0, converted);
    return padded;
  }
  return converted;
}

int TImageList::Add(const QImage& image) {
  images_.push_back(fitted(image));
  return Count() - 1;
}

void TImageList::Replace(int index, const QImage& image) {
  images_.at(static_cast<std::size_t>(index)) = fitted(image);
}

void TImageList::Draw(QPainter& painter, int index, QPoint at) const {
  if (index >= 0 && index < Count()) {
    painter.drawImage(at, Image(index));
  }
}

TGlyphList::TGlyphList(int width, int height) : TImageList(width, height) {}

int TGlyphList::AddImage(const QImage& image) {
  const auto free = std::find(slots_.begin(), slots_.end(), false);
  if (free == slots_.end()) {
    slots_.push_back(true);
    Add(image);
    ++used_;
    return Count() - 1;
  }
  const int index = static_cast<int>(free - slots_.begin());
  *free = true;
  Replace(index, image);
  ++used_;
  return index;
}

void TGlyphList::DeleteImage(int index) {
  if (IsUsed(index)) {
    slots_[static_cast<std::size_t>(index)] = false;
    --used_;
    // The slot keeps its pixels until reused; only the bit says it is free.
  }
}

bool TGlyphList::IsUsed(int index) const {
  return index >= 0 && index < static_cast<int>(slots_.size()) &&
         slots_[static_cast<std::size_t>(index)];
}

TGlyphCache* TGlyphCache::instance_ = nullptr;
int TGlyphCache::users_ = 0;

TGlyphCache::~TGlyphCache() {
  for (auto& entry : lists_) {
    delete entry.second;
  }
}

TGlyphList* TGlyphCache::GetList(int width, int height) {
  TGlyphList*& list = lists_[{width, height}];
  if (list == nullptr) {
    list = new TGlyphList(width, height);
  }
  return list;
}

void TGlyphCache::ReturnList(TGlyphList* list) {
  if (list == nullptr || list->UsedCount() > 0) {
    return;
  }
  const auto found = lists_.find({list->Width(), list->Height()});
  if (found != lists_.end() && found->second == list) {
    lists_.erase(found);
    delete list;
  }
  freeWhenUnused();
}

void TGlyphCache::AddUser() {
  if (instance_ == nullptr) {
    instance_ = new TGlyphCache;
  }
  ++users_;
}

void TGlyphCache::RemoveUser() {
  --users_;
  freeWhenUnused();
}

void TGlyphCache::freeWhenUnused() {
  if (users_ == 0 && instance_ != nullptr && instance_->Empty()) {
    delete instance_;
    instance_ = nullptr;
  }
}

}  // namespace widgets
