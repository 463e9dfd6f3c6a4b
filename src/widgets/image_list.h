// Lists of equally sized images: the image list a button may take its glyphs
// from, and the shared lists that hold the buttons' ready-made state images.
#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <map>
#include <utility>
#include <vector>

class QPainter;

namespace widgets {

// Images of one size, drawn by index.
class TImageList : public QObject {
  Q_OBJECT

 public:
  TImageList(int width, int height, QObject* parent = nullptr);

  int Width() const { return size_.width(); }
  int Height() const { return size_.height(); }
  QSize Size() const { return size_; }
  int Count() const { return static_cast<int>(images_.size()); }
  // Appends a copy of `image` (scaled to the list's size if it differs).
  int Add(const QImage& image);
  const QImage& Image(int index) const { return images_.at(static_cast<std::size_t>(index)); }
  void Draw(QPainter& painter, int index, QPoint at) const;

 protected:
  void Replace(int index, const QImage& image);

 private:
  QImage fitted(const QImage& image) const;

  QSize size_;
  std::vector<QImage> images_;
};

// A list whose slots are handed out and given back: a freed slot is reused by
// the next image, and the list never shrinks.
class TGlyphList : public TImageList {
  Q_OBJECT

 public:
  TGlyphList(int width, int height);

  // Stores `image` in the first free slot, or a new one at the end.
  int AddImage(const QImage& image);
  void DeleteImage(int index);
  int UsedCount() const { return used_; }
  bool IsUsed(int index) const;

 private:
  std::vector<bool> slots_;
  int used_ = 0;
};

// The process's lists, one per image size, shared by every button. It exists
// from the first glyph object to the last one.
class TGlyphCache {
 public:
  // The cache while any glyph object or list exists, else null.
  static TGlyphCache* Instance() { return instance_; }

  // The list for images of exactly this size, made when missing.
  TGlyphList* GetList(int width, int height);
  // Removes and frees a list once no image is left in it.
  void ReturnList(TGlyphList* list);
  int ListCount() const { return static_cast<int>(lists_.size()); }
  bool Empty() const { return lists_.empty(); }

  // Every glyph object registers for its whole life.
  static void AddUser();
  static void RemoveUser();

 private:
  TGlyphCache() = default;
  ~TGlyphCache();
  static void freeWhenUnused();

  static TGlyphCache* instance_;
  static int users_;
  std::map<std::pair<int, int>, TGlyphList*> lists_;
};

}  // namespace widgets
