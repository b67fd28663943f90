#!/usr/bin/perl
# Draws the program's icon (a white circular update arrow on a blue disc) as a .ico file with
# 16, 24, 32, 48 and 64 pixel images in 32-bit colour with alpha.
# usage: make_icon.pl OUT.ico
use strict;
use warnings;
use constant PI => 4 * atan2(1, 1);

my $out = shift or die "usage: $0 OUT.ico\n";
my @sizes = (16, 24, 32, 48, 64);
my $samples = 4;  # per pixel and axis, for smooth edges

# The arrow: a ring from 100 degrees round to 400, then a head pointing on round.
my ($inner, $outer) = (0.215, 0.315);
my ($arc_from, $arc_to) = (100 * PI / 180, 400 * PI / 180);

sub ring_angle {  # the angle of (x, y) about the centre, counted up from $arc_from
  my ($x, $y) = @_;
  my $a = atan2(0.5 - $y, $x - 0.5);
  $a += 2 * PI while $a < $arc_from;
  return $a;
}

sub in_triangle {
  my ($px, $py, @v) = @_;
  my $sign;
  for my $i (0 .. 2) {
    my ($ax, $ay) = @{$v[$i]};
    my ($bx, $by) = @{$v[($i + 1) % 3]};
    my $cross = ($bx - $ax) * ($py - $ay) - ($by - $ay) * ($px - $ax);
    my $s = $cross >= 0 ? 1 : -1;
    $sign //= $s;
    return 0 if $s != $sign;
  }
  return 1;
}

my @head = do {
  my $mid = ($inner + $outer) / 2;
  my ($c, $s) = (cos($arc_to), sin($arc_to));
  my @radial = ($c, -$s);
  my @tangent = (-$s, -$c);
  my @base = (0.5 + $mid * $radial[0], 0.5 + $mid * $radial[1]);
  ([$base[0] + 0.13 * $radial[0], $base[1] + 0.13 * $radial[1]],
   [$base[0] - 0.13 * $radial[0], $base[1] - 0.13 * $radial[1]],
   [$base[0] + 0.17 * $tangent[0], $base[1] + 0.17 * $tangent[1]]);
};

# The colour (r, g, b, a) of one point of the unit square, y downwards.
sub colour_at {
  my ($x, $y) = @_;
  my $d = sqrt(($x - 0.5) ** 2 + ($y - 0.5) ** 2);
  return (0, 0, 0, 0) if $d > 0.48;
  return (18, 40, 92, 255) if $d > 0.445;  # the rim
  my $ring = $d >= $inner && $d <= $outer && ring_angle($x, $y) <= $arc_to;
  return (244, 247, 252, 255) if $ring || in_triangle($x, $y, @head);
  my $t = $y;  # lighter blue at the top
  return (int(52 - 30 * $t), int(110 - 52 * $t), int(205 - 70 * $t), 255);
}

sub image {
  my ($size) = @_;
  my (@pixels, @opaque);
  for my $row (0 .. $size - 1) {
    for my $col (0 .. $size - 1) {
      my ($r, $g, $b, $a) = (0, 0, 0, 0);
      for my $sy (0 .. $samples - 1) {
        for my $sx (0 .. $samples - 1) {
          my @c = colour_at(($col + ($sx + 0.5) / $samples) / $size, ($row + ($sy + 0.5) / $samples) / $size);
          $r += $c[0] * $c[3]; $g += $c[1] * $c[3]; $b += $c[2] * $c[3]; $a += $c[3];
        }
      }
      my $n = $samples * $samples;
      my @p = $a ? (int($r / $a + 0.5), int($g / $a + 0.5), int($b / $a + 0.5), int($a / $n + 0.5)) : (0, 0, 0, 0);
      $pixels[$row][$col] = pack('C4', $p[2], $p[1], $p[0], $p[3]);
      $opaque[$row][$col] = $p[3] > 0;
    }
  }
  # A bitmap of twice the height: the colour rows, then the transparency mask, both bottom-up.
  my $mask_stride = int(($size + 31) / 32) * 4;
  my $colour = join('', map { join('', @{$pixels[$_]}) } reverse 0 .. $size - 1);
  my $mask = '';
  for my $row (reverse 0 .. $size - 1) {
    my $bits = join('', map { $opaque[$row][$_] ? '0' : '1' } 0 .. $size - 1);
    $mask .= pack("B$size", $bits) . ("\0" x ($mask_stride - int(($size + 7) / 8)));
  }
  my $header = pack('VVVvvVVVVVV', 40, $size, 2 * $size, 1, 32, 0, length($colour) + length($mask), 0, 0, 0, 0);
  return $header . $colour . $mask;
}

my @images = map { image($_) } @sizes;
my $data = pack('vvv', 0, 1, scalar @sizes);
my $offset = 6 + 16 * @sizes;
for my $i (0 .. $#sizes) {
  $data .= pack('CCCCvvVV', $sizes[$i], $sizes[$i], 0, 0, 1, 32, length($images[$i]), $offset);
  $offset += length($images[$i]);
}
$data .= join('', @images);
open(my $fh, '>:raw', "$out.tmp") or die "$out: $!\n";
print $fh $data;
close $fh or die "$out: $!\n";
rename("$out.tmp", $out) or die "$out: $!\n";
