module alu(input [7:0] a, input [7:0] b, input [1:0] op, output reg [7:0] y, output zero);
  always @* case (op)
    2'd0: y = a + b;
    2'd1: y = a - b;
    2'd2: y = a & b;
    default: y = a ^ b;
  endcase
  assign zero = (y == 8'd0);
endmodule

module cpu(input clk, input rst, output reg [7:0] pc, output reg [7:0] acc, output reg valid);
  reg [1:0] state;
  wire [7:0] result;
  wire zero;
  alu u_alu(.a(acc), .b(pc), .op(state), .y(result), .zero(zero));
  always @(posedge clk) begin
    if (rst) begin pc <= 0; acc <= 8'hxx; state <= 0; valid <= 0; end
    else begin
      pc <= pc + 1;
      acc <= (acc === 8'hxx) ? 8'd3 : result;
      state <= state + 1;
      valid <= (state == 2'd3);
    end
  end
endmodule

module top;
  reg clk = 0, rst = 1;
  wire [7:0] pc, acc;
  wire valid;
  real temperature = 25.0;
  wire [7:0] bus = rst ? 8'bzzzzzzzz : acc;
  cpu cpu(.clk(clk), .rst(rst), .pc(pc), .acc(acc), .valid(valid));
  always #5 clk = ~clk;
  always @(posedge clk) temperature = temperature + 0.25;
  initial begin
    $dumpfile("cpu.vcd");
    $dumpvars(0, top);
    #22 rst = 0;
    #400 $finish;
  end
endmodule
