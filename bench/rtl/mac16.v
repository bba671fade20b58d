// A 16 x 16 multiply added to a 40-bit accumulator input.
module mac16 (input [15:0] a, input [15:0] b, input [39:0] acc, output [39:0] sum);
  assign sum = acc + a * b;
endmodule
