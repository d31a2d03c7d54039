// Window assembly: widgets, toolbar, menus and their connections; the About box.
#include "mainwindow.h"

#include "imageoperations.h"
#include "imageview.h"
#include "tooloverlay.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollArea>
#include <QSlider>
#include <QToolBar>

using Lumivex::ImageView;
using Lumivex::ToolOverlay;

namespace {

QSlider *makeSlider()
{
    auto *slider = new QSlider(Qt::Horizontal);
    slider->setRange(-Lumivex::AdjustmentLimit, Lumivex::AdjustmentLimit);
    slider->setValue(0);
    return slider;
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    imageLabel = new ImageView(adjustedImage);
    imageLabel->setBackgroundRole(QPalette::Base);
    imageLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    imageLabel->setScaledContents(true);

    scrollArea = new QScrollArea;
    scrollArea->setWidget(imageLabel);
    setCentralWidget(scrollArea);
    new ToolOverlay(this, imageLabel, scrollArea->viewport(),
                    {cropping, cropRect, selecting, selectionRect, adjustedImage});

    // Values are set before the connections, so construction adjusts nothing.
    brightnessSlider = makeSlider();
    connect(brightnessSlider, &QSlider::valueChanged, this, &MainWindow::adjustBrightness);
    contrastSlider = makeSlider();
    connect(contrastSlider, &QSlider::valueChanged, this, &MainWindow::adjustContrast);
    saturationSlider = makeSlider();
    connect(saturationSlider, &QSlider::valueChanged, this, &MainWindow::adjustSaturation);

    QToolBar *toolBar = addToolBar(QStringLiteral("Adjustments"));
    toolBar->addWidget(new QLabel(QStringLiteral("B:")));
    toolBar->addWidget(brightnessSlider);
    toolBar->addWidget(new QLabel(QStringLiteral(" C:")));
    toolBar->addWidget(contrastSlider);
    toolBar->addWidget(new QLabel(QStringLiteral(" S:")));
    toolBar->addWidget(saturationSlider);

    QMenu *fileMenu = menuBar()->addMenu(QStringLiteral("File"));
    fileMenu->addAction(QStringLiteral("Open"), this, &MainWindow::openImage);
    fileMenu->addAction(QStringLiteral("Save As"), this, &MainWindow::saveImageAs);
    fileMenu->addSeparator();
    fileMenu->addAction(QStringLiteral("Exit"), this, &QWidget::close);

    QMenu *editMenu = menuBar()->addMenu(QStringLiteral("Edit"));
    editMenu->addAction(QStringLiteral("Cut"), this, &MainWindow::cutImage);
    editMenu->addAction(QStringLiteral("Copy"), this, &MainWindow::copyImage);
    editMenu->addAction(QStringLiteral("Paste"), this, &MainWindow::pasteImage);
    editMenu->addAction(QStringLiteral("Undo"), this, &MainWindow::undo);
    editMenu->addAction(QStringLiteral("Redo"), this, &MainWindow::redo);
    editMenu->addSeparator();
    editMenu->addAction(QStringLiteral("Select All"), this, &MainWindow::selectAll);
    editMenu->addAction(QStringLiteral("Select Region"), this, &MainWindow::startSelection);
    editMenu->addSeparator();
    editMenu->addAction(QStringLiteral("Rotate Left"), this, &MainWindow::rotateLeft);
    editMenu->addAction(QStringLiteral("Rotate Right"), this, &MainWindow::rotateRight);
    editMenu->addAction(QStringLiteral("Flip Horizontal"), this, &MainWindow::flipHorizontal);
    editMenu->addAction(QStringLiteral("Flip Vertical"), this, &MainWindow::flipVertical);
    editMenu->addSeparator();
    editMenu->addAction(QStringLiteral("Zoom In"), this, &MainWindow::zoomIn);
    editMenu->addAction(QStringLiteral("Zoom Out"), this, &MainWindow::zoomOut);
    editMenu->addAction(QStringLiteral("Reset Zoom"), this, &MainWindow::resetZoom);

    QMenu *cropMenu = menuBar()->addMenu(QStringLiteral("Crop"));
    cropMenu->addAction(QStringLiteral("Start Crop"), this, &MainWindow::startCrop);
    cropMenu->addAction(QStringLiteral("Apply Crop"), this, &MainWindow::applyCrop);
    cropMenu->addAction(QStringLiteral("Cancel Crop"), this, &MainWindow::cancelCrop);

    QMenu *filtersMenu = menuBar()->addMenu(QStringLiteral("Filters"));
    filtersMenu->addAction(QStringLiteral("Grayscale"), this, &MainWindow::filterGrayscale);
    filtersMenu->addAction(QStringLiteral("Invert"), this, &MainWindow::filterInvert);

    QMenu *helpMenu = menuBar()->addMenu(QStringLiteral("Help"));
    helpMenu->addAction(QStringLiteral("About"), this, &MainWindow::showAbout);

    setWindowTitle(QStringLiteral("Lumivex"));
    resize(1000, 700);
}

MainWindow::~MainWindow() = default;

void MainWindow::showAbout()
{
    QMessageBox::about(this, QStringLiteral("About"),
                       QStringLiteral("Lumivex\n"
                                      "Made by the Lumivex developers, 2026\n"
                                      "With Image editing capabilities"));
}

ToolOverlay *MainWindow::toolOverlay() const
{
    return scrollArea->viewport()->findChild<ToolOverlay *>(QString(), Qt::FindDirectChildrenOnly);
}
