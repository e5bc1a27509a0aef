// The list box (a QListWidget) and the list view (a QTreeView over ListViewModel). Both are filled
// one entry at a time by the dialogs, so both rebuild their widget once, when the loop next runs.
#include <QHeaderView>
#include <QListWidget>
#include <QTimer>
#include <QTreeView>

#include "forms/qt/ListViewModel.h"
#include "forms/qt/Peers.h"

namespace forms::qt {
namespace {

class ListBoxPeer final : public QtControlPeer {
 public:
  ListBoxPeer(const QtBackend& backend, ListBox& list, QWidget* parent)
      : QtControlPeer(backend, list, new QListWidget(parent)), list_(list) {
    auto* w = static_cast<QListWidget*>(widget_.data());
    watch(w->viewport());
    QObject::connect(w, &QListWidget::currentRowChanged, &context_, [this](int row) {
      if (row != list_.ListIndex() && row < list_.ListCount()) guarded([&] { list_.setListIndex(row); });
    });
    QObject::connect(w, &QListWidget::itemDoubleClicked, &context_, [this](QListWidgetItem*) {
      if (list_.DblClick) guarded([&] { list_.DblClick(); });
    });
    syncAll();
  }
  void syncOwn(Property what) override {
    if (what == Property::Items) {
      // Lists are filled one entry at a time: rebuild the widget once, when the loop next runs.
      if (!pending_) {
        pending_ = true;
        QTimer::singleShot(0, &guard_, [this] { flush(); });
      }
    } else if (what == Property::Selection) {
      flush();
    }
  }
  void flush() {
    auto* w = static_cast<QListWidget*>(widget_.data());
    if (w == nullptr) return;
    const QSignalBlocker block(w);
    if (pending_) {
      pending_ = false;
      w->clear();
      QStringList texts;
      texts.reserve(list_.ListCount());
      for (const auto& item : list_.items()) texts.push_back(toQString(item));
      w->addItems(texts);
    }
    w->setCurrentRow(list_.ListIndex());
  }

 private:
  ListBox& list_;
  QObject guard_;  // deferred rebuilds die with the peer
  bool pending_ = false;
};

class ListViewPeer final : public QtControlPeer {
 public:
  ListViewPeer(const QtBackend& backend, ListView& list, QWidget* parent)
      : QtControlPeer(backend, list, new QTreeView(parent)), list_(list), model_(backend, list) {
    auto* view = static_cast<QTreeView*>(widget_.data());
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setItemsExpandable(false);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->header()->setStretchLastSection(false);
    // The list keeps its own font when the form's changes later (a popup measuring in another one).
    view->setFont(backend.qfont(list.font()));
    view->setModel(&model_);
    watch(view->viewport());
    QObject::connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, &context_,
                     [this](const QModelIndex& current, const QModelIndex&) {
                       // The view may still show rows the model has dropped: those select nothing.
                       if (current.isValid() && current.row() < list_.itemCount() &&
                           current.row() != list_.selectedIndex()) {
                         syncing_ = true;
                         guarded([&] { list_.select(current.row()); });
                         syncing_ = false;
                       }
                     });
    syncAll();
  }
  ~ListViewPeer() override {
    // The view outlives the peer until a deferred delete: it must not go on reading the model.
    if (auto* view = static_cast<QTreeView*>(widget_.data())) view->setModel(nullptr);
  }
  void syncOwn(Property what) override {
    auto* view = static_cast<QTreeView*>(widget_.data());
    switch (what) {
      case Property::Items:
        // Many rows are added one by one: refresh the view once, when the event loop next runs.
        if (!resetPending_) {
          resetPending_ = true;
          QTimer::singleShot(0, &guard_, [this] { flush(); });
        }
        break;
      case Property::Columns:
        flush();
        break;
      case Property::Style:
        view->setHeaderHidden(list_.HideColumnHeaders());
        view->setSelectionBehavior(list_.FullRowSelect() ? QAbstractItemView::SelectRows
                                                         : QAbstractItemView::SelectItems);
        view->setAlternatingRowColors(list_.GridLines());
        break;
      case Property::Selection:
        if (!syncing_) {
          flush();
          const int row = list_.selectedIndex();
          const QSignalBlocker block(view->selectionModel());
          if (row < 0) {
            view->selectionModel()->clearSelection();
          } else {
            view->setCurrentIndex(model_.index(row, 0));
          }
        }
        break;
      case Property::Scroll:
        flush();
        if (list_.itemCount() > 0)
          view->scrollTo(model_.index(list_.topIndex(), 0), QAbstractItemView::PositionAtTop);
        break;
      default:
        break;
    }
  }
  void flush() {
    if (!widget_) return;
    resetPending_ = false;
    model_.reset();
    auto* view = static_cast<QTreeView*>(widget_.data());
    sizeColumns(view);
    const int row = list_.selectedIndex();
    if (row >= 0) {
      const QSignalBlocker block(view->selectionModel());
      view->setCurrentIndex(model_.index(row, 0));
    }
  }

 private:
  // The sections end where the columns end, rounded once: together they are exactly as wide as
  // the columns' total, so a list sized to its columns needs no horizontal scroll bar.
  void sizeColumns(QTreeView* view) {
    Twips end = 0;
    int left = 0;
    for (int i = 0; i < list_.columnCount(); ++i) {
      end += list_.column(i).width;
      const int right = backend_.pixelsX(end);
      view->header()->resizeSection(i, right - left);
      left = right;
    }
  }

  ListView& list_;
  ListViewModel model_;
  QObject guard_;  // deferred refreshes die with the peer
  bool resetPending_ = false;
  bool syncing_ = false;
};

}  // namespace

std::unique_ptr<ControlPeer> makeListBoxPeer(const QtBackend& backend, ListBox& list, QWidget* parent) {
  return std::make_unique<ListBoxPeer>(backend, list, parent);
}

std::unique_ptr<ControlPeer> makeListViewPeer(const QtBackend& backend, ListView& list, QWidget* parent) {
  return std::make_unique<ListViewPeer>(backend, list, parent);
}

}  // namespace forms::qt
