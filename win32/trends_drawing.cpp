#include "win32/trends_drawing.h"

#include <objbase.h>
#include <wincodec.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "device/supply_rails.h"
#include "process/wide_text.h"
#include "win32/system_function.h"

namespace {

// WIC's identifiers, spelled out so that no import library is needed: the
// factory comes from COM, which every Windows has.
constexpr CLSID kWicFactory = {
    0xcacaf262, 0x9370, 0x4615, {0xa1, 0x3b, 0x9f, 0x55, 0x39, 0xda, 0x4c, 0x0a}};
constexpr IID kWicFactoryInterface = {
    0xec5ec8a9, 0xc395, 0x4314, {0x9c, 0x77, 0x54, 0xd7, 0xa9, 0x35, 0xff, 0x70}};
constexpr GUID kPngContainer = {
    0x1b7cfaf4, 0x713f, 0x473c, {0xbb, 0xcd, 0x61, 0x37, 0x42, 0x5f, 0xae, 0xaf}};
constexpr GUID kPixels32bppBgr = {
    0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x0e}};

constexpr COLORREF kGrid = RGB(0xe0, 0xe0, 0xe0);
constexpr COLORREF kFrame = RGB(0x80, 0x80, 0x80);
constexpr COLORREF kText = RGB(0, 0, 0);
constexpr int kSeriesWidth = 2;

COLORREF colour(uint32_t rgb) {
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// A hidden series' legend entry: its colour at 40 % over the white page.
COLORREF faded(COLORREF c) {
    const auto mix = [](int v) { return static_cast<BYTE>((v * 4 + 255 * 6) / 10); };
    return RGB(mix(GetRValue(c)), mix(GetGValue(c)), mix(GetBValue(c)));
}

int px(double v) {
    return static_cast<int>(std::lround(v));
}

void text_at(HDC dc, double x, double y, const std::string& text, UINT align) {
    const std::wstring wide = utf8_to_wide(text);
    SetTextAlign(dc, align);
    TextOutW(dc, px(x), px(y), wide.c_str(), static_cast<int>(wide.size()));
}

void line_at(HDC dc, double x1, double y1, double x2, double y2) {
    MoveToEx(dc, px(x1), px(y1), nullptr);
    LineTo(dc, px(x2), px(y2));
}

HPEN geometric_pen(COLORREF c, int width, DWORD style) {
    LOGBRUSH brush{BS_SOLID, c, 0};
    return ExtCreatePen(PS_GEOMETRIC | style | PS_ENDCAP_FLAT | PS_JOIN_ROUND,
                        static_cast<DWORD>(width), &brush, 0, nullptr);
}

void value_axis(HDC dc, const charts::ValueScale& scale, const charts::PlotBox& box, bool right,
                const char* title, HFONT upright) {
    char format[8];
    std::snprintf(format, sizeof format, "%%.%df", scale.decimals);
    HPEN grid = CreatePen(PS_SOLID, 1, kGrid);
    HGDIOBJ old = SelectObject(dc, grid);
    for (int k = 0; k < scale.ticks; ++k) {
        const double v = charts::TrendPlan::tick_value(scale, k);
        const double y = charts::y_at(scale, box, v);
        if (!right) {
            line_at(dc, box.left, y, box.left + box.width, y);
        }
        char text[48];
        std::snprintf(text, sizeof text, format, v);
        if (!box.compact || k == 0 || k == scale.ticks - 1) {
            text_at(dc, right ? box.left + box.width + 4 : box.left - 4, y - 7, text,
                    right ? TA_LEFT | TA_TOP : TA_RIGHT | TA_TOP);
        }
    }
    SelectObject(dc, old);
    DeleteObject(grid);
    HGDIOBJ font = SelectObject(dc, upright);
    text_at(dc, right ? box.left + box.width + 40 : box.left - 66, box.top + box.height / 2, title,
            TA_CENTER | TA_TOP);
    SelectObject(dc, font);
}

void draw_trace(HDC dc, const charts::TrendPlan& plan, const charts::ChartPlan& chart,
                const charts::PlotBox& box, const charts::TracePlan& t) {
    const charts::TraceSpec& def = charts::kTraceSpecs[t.trace];
    const charts::ValueScale& scale = def.right_axis ? chart.right.scale : chart.left.scale;
    if (t.has_limits) {
        HPEN dashed = t.out_of_limits ? geometric_pen(colour(t.color), 3, PS_DASH)
                                      : CreatePen(PS_DASH, 1, colour(t.color));
        HGDIOBJ before = SelectObject(dc, dashed);
        for (double limit : {t.limit_low, t.limit_high}) {
            const double y = charts::y_at(scale, box, limit);
            line_at(dc, box.left, y, box.left + box.width, y);
        }
        SelectObject(dc, before);
        DeleteObject(dashed);
    }
    HPEN pen = geometric_pen(colour(t.color), kSeriesWidth, PS_SOLID);
    HBRUSH dot = CreateSolidBrush(colour(t.color));
    HGDIOBJ old_pen = SelectObject(dc, pen);
    HGDIOBJ old_brush = SelectObject(dc, dot);
    for (const std::vector<ChartPoint>& run : t.runs) {
        std::vector<POINT> points;
        for (const ChartPoint& p : run) {
            points.push_back(
                {px(charts::x_at(plan, box, p.seconds)), px(charts::y_at(scale, box, p.value))});
        }
        if (points.size() == 1) {
            // A run of one point draws no line: a dot shows it.
            Ellipse(dc, points[0].x - 2, points[0].y - 2, points[0].x + 3, points[0].y + 3);
        } else if (!points.empty()) {
            Polyline(dc, points.data(), static_cast<int>(points.size()));
        }
    }
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);
    DeleteObject(pen);
    DeleteObject(dot);
}

void draw_quality(HDC dc, const QualityChart& quality, HFONT bold, HFONT font, HFONT upright) {
    const charts::QualityChartPlan& plan = quality.plan;
    const charts::PlotBox& box = quality.box;
    SelectObject(dc, bold);
    text_at(dc, box.left + box.width / 2, box.top - 3, "Error performance (15-minute bins)",
            TA_CENTER | TA_BOTTOM);
    SelectObject(dc, font);
    HPEN frame = CreatePen(PS_SOLID, 1, kFrame);
    HGDIOBJ old_pen = SelectObject(dc, frame);
    if (plan.bars.empty()) {
        SetTextColor(dc, kFrame);
        text_at(dc, box.left + box.width / 2, box.top + box.height / 2 - 7, "No second counted yet",
                TA_CENTER | TA_TOP);
        SetTextColor(dc, kText);
    } else {
        value_axis(dc, plan.scale, box, false, "seconds", upright);
        const double length = std::max(plan.view.to - plan.view.from, 1.0);
        for (const charts::TimeTick& tick : plan.ticks) {
            const double x = box.left + (tick.seconds - plan.view.from) / length * box.width;
            text_at(dc, x, box.top + box.height + 2, tick.label, TA_CENTER | TA_TOP);
        }
        for (std::size_t b = 0; b < plan.bars.size(); ++b) {
            for (int s = 0; s < charts::kQualitySegmentCount; ++s) {
                const auto segment = static_cast<charts::QualitySegment>(s);
                const charts::BarRect r = charts::quality_bar_rect(plan, box, b, segment);
                if (r.bottom - r.top <= 0) {
                    continue;
                }
                // A narrow bin still shows as a pixel's column.
                RECT area{px(r.left), px(r.top), std::max(px(r.right), px(r.left) + 1),
                          px(r.bottom)};
                HBRUSH fill = CreateSolidBrush(colour(charts::quality_segment_color(segment)));
                FillRect(dc, &area, fill);
                DeleteObject(fill);
            }
        }
    }
    SelectObject(dc, frame);
    HGDIOBJ old_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, px(box.left), px(box.top), px(box.left + box.width) + 1,
              px(box.top + box.height) + 1);
    SelectObject(dc, old_brush);
    for (int s = 0; s < charts::kQualitySegmentCount; ++s) {
        const auto segment = static_cast<charts::QualitySegment>(s);
        const double x = box.left + box.width + charts::kLegendGap;
        const double y = box.top + charts::kLegendRow / 2.0 - 2 + s * charts::kLegendRow;
        RECT swatch{px(x), px(y - 5), px(x + 12), px(y + 5)};
        HBRUSH fill = CreateSolidBrush(colour(charts::quality_segment_color(segment)));
        FillRect(dc, &swatch, fill);
        DeleteObject(fill);
        text_at(dc, x + 18, y - 6, charts::quality_segment_name(segment), TA_LEFT | TA_TOP);
    }
    SelectObject(dc, old_pen);
    DeleteObject(frame);
}

}  // namespace

charts::PageLayout lay_out_quality_page(int width, int height, charts::PlotBox* quality) {
    // A rail's chart weighs half of any other; the error performance chart
    // weighs as one of the others.
    const int weights = kRailCount + 2 * (charts::kChartCount - kRailCount) + 2;
    const int block = height * 2 / weights;
    charts::PageLayout page = charts::lay_out_page(width, std::max(1, height - block));
    page.height = height;
    *quality = {static_cast<double>(charts::kPlotLeft),
                static_cast<double>(height - block + charts::kPlotTitle),
                std::max(1.0, width - double(charts::kPlotLeft) - charts::kPlotRight),
                std::max(1.0, double(block) - charts::kPlotTitle - charts::kPlotBottom)};
    return page;
}

std::vector<charts::QualityBar> bars_in_view(const std::vector<charts::QualityBar>& bins,
                                             double from, double to) {
    std::vector<charts::QualityBar> shown;
    for (const charts::QualityBar& bar : bins) {
        if (from >= to || (bar.start < to && bar.start + bar.seconds > from)) {
            shown.push_back(bar);
        }
    }
    return shown;
}

void draw_trends(HDC dc, const charts::TrendPlan& plan, const charts::PageLayout& page,
                 const QualityChart* quality) {
    RECT all{0, 0, page.width, page.height};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kText);
    HFONT font = CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_SWISS, L"Tahoma");
    HFONT bold =
        CreateFontW(-11, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma");
    HFONT upright = CreateFontW(-11, 0, 900, 900, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                DEFAULT_PITCH | FF_SWISS, L"Tahoma");
    HGDIOBJ old_font = SelectObject(dc, font);
    HGDIOBJ old_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    const std::vector<charts::LegendEntry> legend = charts::legend_entries(plan, page);
    HPEN grid = CreatePen(PS_SOLID, 1, kGrid);
    HPEN frame = CreatePen(PS_SOLID, 1, kFrame);
    HPEN marker = CreatePen(PS_SOLID, 1, colour(charts::kMarkerColor));
    HGDIOBJ old_pen = SelectObject(dc, grid);
    for (std::size_t c = 0; c < plan.charts.size() && c < page.plots.size(); ++c) {
        const charts::ChartPlan& chart = plan.charts[c];
        const charts::PlotBox& box = page.plots[c];
        if (!box.compact) {
            SelectObject(dc, bold);
            text_at(dc, box.left + box.width / 2, box.top - 3, chart.def->title,
                    TA_CENTER | TA_BOTTOM);
            SelectObject(dc, font);
        }
        value_axis(dc, chart.left.scale, box, false, chart.def->left_title, upright);
        if (chart.def->right_title != nullptr && chart.right.used) {
            value_axis(dc, chart.right.scale, box, true, chart.def->right_title, upright);
        }
        SelectObject(dc, grid);
        for (const charts::TimeTick& tick : plan.ticks) {
            const double x = charts::x_at(plan, box, tick.seconds);
            line_at(dc, x, box.top, x, box.top + box.height);
            if (!box.compact) {
                text_at(dc, x, box.top + box.height + 2, tick.label, TA_CENTER | TA_TOP);
            }
        }
        SelectObject(dc, frame);
        Rectangle(dc, px(box.left), px(box.top), px(box.left + box.width) + 1,
                  px(box.top + box.height) + 1);
        // The series stay inside the plot; their legend lies beside it.
        const int saved = SaveDC(dc);
        IntersectClipRect(dc, px(box.left), px(box.top), px(box.left + box.width) + 1,
                          px(box.top + box.height) + 1);
        for (int i : chart.traces) {
            const charts::TracePlan& t = plan.traces[static_cast<std::size_t>(i)];
            if (t.shown && t.has_points) {
                draw_trace(dc, plan, chart, box, t);
            }
        }
        // The journal's events: a thin line each, over the series.
        SelectObject(dc, marker);
        for (const charts::ChartMarker& m : plan.markers) {
            const double x = charts::x_at(plan, box, m.seconds);
            line_at(dc, x, box.top, x, box.top + box.height);
        }
        RestoreDC(dc, saved);
        for (const charts::LegendEntry& e : legend) {
            const charts::TracePlan& t = plan.traces[static_cast<std::size_t>(e.trace)];
            if (charts::kTraceSpecs[e.trace].chart != static_cast<int>(c)) {
                continue;
            }
            const COLORREF ink = t.shown ? colour(t.color) : faded(colour(t.color));
            HPEN pen = geometric_pen(ink, kSeriesWidth, PS_SOLID);
            HGDIOBJ before = SelectObject(dc, pen);
            line_at(dc, e.x, e.y, e.x + 14, e.y);
            SetTextColor(dc, t.shown ? kText : faded(kText));
            text_at(dc, e.x + 18, e.y - 6, t.name, TA_LEFT | TA_TOP);
            SetTextColor(dc, kText);
            SelectObject(dc, before);
            DeleteObject(pen);
        }
        SelectObject(dc, grid);
    }
    if (quality != nullptr) {
        draw_quality(dc, *quality, bold, font, upright);
    }
    SelectObject(dc, old_pen);
    SelectObject(dc, old_brush);
    SelectObject(dc, old_font);
    DeleteObject(grid);
    DeleteObject(frame);
    DeleteObject(marker);
    DeleteObject(font);
    DeleteObject(bold);
    DeleteObject(upright);
}

void draw_tooltip(HDC dc, const std::vector<std::string>& rows, int x, int y, const RECT& bounds) {
    if (rows.empty()) {
        return;
    }
    HGDIOBJ old_font = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    int width = 0;
    int line = 14;
    std::vector<std::wstring> wide;
    for (const std::string& row : rows) {
        wide.push_back(utf8_to_wide(row));
        SIZE size{};
        GetTextExtentPoint32W(dc, wide.back().c_str(), static_cast<int>(wide.back().size()), &size);
        width = width > size.cx ? width : size.cx;
        line = line > size.cy ? line : size.cy;
    }
    RECT box{x + 12, y + 12, x + 12 + width + 8, y + 12 + line * static_cast<int>(rows.size()) + 6};
    if (box.right > bounds.right) {
        OffsetRect(&box, x - 12 - box.right, 0);
    }
    if (box.bottom > bounds.bottom) {
        OffsetRect(&box, 0, bounds.bottom - box.bottom);
    }
    HBRUSH fill = CreateSolidBrush(RGB(0xff, 0xff, 0xe1));
    FillRect(dc, &box, fill);
    DeleteObject(fill);
    FrameRect(dc, &box, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, TA_LEFT | TA_TOP);
    for (std::size_t i = 0; i < wide.size(); ++i) {
        TextOutW(dc, box.left + 4, box.top + 3 + line * static_cast<int>(i), wide[i].c_str(),
                 static_cast<int>(wide[i].size()));
    }
    SelectObject(dc, old_font);
}

PageBitmap::PageBitmap(int w, int h) : width(w), height(h) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    pixels = static_cast<DWORD*>(bits);
}

PageBitmap::~PageBitmap() {
    if (bitmap != nullptr) {
        DeleteObject(bitmap);
    }
}

void render_trends(const charts::TrendPlan& plan, const charts::PageLayout& page,
                   PageBitmap& bitmap, const QualityChart* quality) {
    if (bitmap.bitmap == nullptr) {
        return;
    }
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap.bitmap);
    draw_trends(dc, plan, page, quality);
    GdiFlush();
    SelectObject(dc, old);
    DeleteDC(dc);
}

bool save_png(const PageBitmap& bitmap, const std::wstring& path, std::string* error) {
    if (bitmap.pixels == nullptr) {
        *error = "no image to save";
        return false;
    }
    static const auto initialize =
        system_function<decltype(&CoInitializeEx)>(L"ole32.dll", "CoInitializeEx");
    static const auto uninitialize =
        system_function<decltype(&CoUninitialize)>(L"ole32.dll", "CoUninitialize");
    static const auto create =
        system_function<decltype(&CoCreateInstance)>(L"ole32.dll", "CoCreateInstance");
    if (initialize == nullptr || uninitialize == nullptr || create == nullptr) {
        *error = "no Windows imaging component";
        return false;
    }
    const HRESULT init = initialize(nullptr, COINIT_APARTMENTTHREADED);
    IWICImagingFactory* factory = nullptr;
    IWICStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    HRESULT hr = create(kWicFactory, nullptr, CLSCTX_INPROC_SERVER, kWicFactoryInterface,
                        reinterpret_cast<void**>(&factory));
    const char* step = "no Windows imaging component";
    if (SUCCEEDED(hr)) {
        step = "cannot create the file";
        hr = factory->CreateStream(&stream);
    }
    if (SUCCEEDED(hr)) {
        hr = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
    }
    if (SUCCEEDED(hr)) {
        step = "no PNG encoder";
        hr = factory->CreateEncoder(kPngContainer, nullptr, &encoder);
    }
    if (SUCCEEDED(hr)) {
        hr = encoder->Initialize(stream, WICBitmapEncoderNoCache);
    }
    if (SUCCEEDED(hr)) {
        hr = encoder->CreateNewFrame(&frame, nullptr);
    }
    if (SUCCEEDED(hr)) {
        hr = frame->Initialize(nullptr);
    }
    if (SUCCEEDED(hr)) {
        hr = frame->SetSize(static_cast<UINT>(bitmap.width), static_cast<UINT>(bitmap.height));
    }
    WICPixelFormatGUID format = kPixels32bppBgr;
    if (SUCCEEDED(hr)) {
        hr = frame->SetPixelFormat(&format);
    }
    if (SUCCEEDED(hr) && format != kPixels32bppBgr) {
        step = "the PNG encoder takes no 32-bit pixels";
        hr = E_FAIL;
    }
    if (SUCCEEDED(hr)) {
        step = "cannot write the file";
        const UINT stride = static_cast<UINT>(bitmap.width) * 4;
        hr = frame->WritePixels(static_cast<UINT>(bitmap.height), stride,
                                stride * static_cast<UINT>(bitmap.height),
                                reinterpret_cast<BYTE*>(bitmap.pixels));
    }
    if (SUCCEEDED(hr)) {
        hr = frame->Commit();
    }
    if (SUCCEEDED(hr)) {
        hr = encoder->Commit();
    }
    for (IUnknown* object : {static_cast<IUnknown*>(frame), static_cast<IUnknown*>(encoder),
                             static_cast<IUnknown*>(stream), static_cast<IUnknown*>(factory)}) {
        if (object != nullptr) {
            object->Release();
        }
    }
    if (SUCCEEDED(init)) {
        uninitialize();
    }
    if (FAILED(hr)) {
        *error = step;
        return false;
    }
    return true;
}

bool save_trends_png(const ReadingHistory& history, const charts::View& view, int width, int height,
                     const std::wstring& path, std::string* error,
                     const std::vector<charts::QualityBar>* quality,
                     const std::vector<charts::ChartMarker>* markers) {
    QualityChart chart;
    const charts::PageLayout page = quality != nullptr
                                        ? lay_out_quality_page(width, height, &chart.box)
                                        : charts::lay_out_page(width, height);
    charts::PlanRequest request;
    request.zoom = &view;
    request.resolution = 1;  // a log stamps its lines to the second
    request.markers = markers;
    if (quality != nullptr) {
        chart.plan = charts::plan_quality_chart(bars_in_view(*quality, view.from, view.to),
                                                static_cast<int>(chart.box.width));
    }
    PageBitmap bitmap(width, height);
    render_trends(charts::plan_page(history, request, page), page, bitmap,
                  quality != nullptr ? &chart : nullptr);
    return save_png(bitmap, path, error);
}
