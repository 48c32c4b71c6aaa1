// The size of what the overlay draws on a screen of a given density. The
// programs work in physical pixels; a layout made for 96 dots per inch is
// multiplied out for the screen the overlay opens on.
#pragma once

namespace kv {

constexpr int kBaseDpi = 96;

struct UiScale {
  int dpi = kBaseDpi;

  // A length of the 96-dpi layout on this screen, rounded to the nearest
  // pixel (halves away from zero).
  int Px(int length) const;

  // The artwork is made at 100, 150 and 200 %: the set nearest this screen,
  // the smaller of two as near (125 % takes 100 %, 175 % takes 150 %: a
  // picture in a control laid out for the screen is then never cut).
  int ArtPercent() const;
  // A length of the 100 % artwork in the chosen set, rounded as Px.
  int ArtPx(int length) const;
  // The resource number of a picture (`base`, its number at 100 %) in the
  // chosen set: the 150 % form is numbered base + 100, the 200 % one base +
  // 200, in both programs.
  int ArtResourceId(int base) const;

  // The magnifier's enlargement: 4 at 96 dpi, a whole number so that every
  // screen pixel stays a sharp square.
  int ZoomFactor() const;
};

// Rounds length * numerator / denominator to the nearest integer, halves
// away from zero (denominator > 0).
int ScaleLength(int length, int numerator, int denominator);

}  // namespace kv
